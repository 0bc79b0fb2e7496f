#!/usr/bin/env bash
# Installs every build and test dependency on a Debian 12 machine. Idempotent: when everything
# is present nothing is downloaded, updated or installed.
set -euo pipefail

packages=(
  ca-certificates git cmake ninja-build g++ make python3
  googletest libgtest-dev libbenchmark-dev
  zlib1g-dev libboost1.81-dev libtomlplusplus-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 wine xvfb fonts-wine wine64-tools
  dnsmasq-base
)
case " $* " in
  *" --bench "*) packages+=(duktape mujs valgrind time) ;;
esac
case " $* " in
  *" --fuzz "*) packages+=(clang libclang-rt-14-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all dependencies present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
