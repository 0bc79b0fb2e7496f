#!/usr/bin/env bash
# Installs every build and test dependency on a Debian 12 machine. Idempotent: when everything
# is present nothing is downloaded, updated or installed.
set -euo pipefail

packages=(
  ca-certificates git cmake ninja-build g++ make python3
  googletest libgtest-dev libbenchmark-dev
  zlib1g-dev libboost1.81-dev libtomlplusplus-dev libedit-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 wine xvfb fonts-wine wine64-tools
  libpython3.11-testsuite dnsmasq-base python3-aiosmtpd dovecot-pop3d
)
# node and npm run the npm test peers (tests/mail); a machine that has them already keeps its own.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
case " $* " in
  *" --bench "*) packages+=(duktape mujs valgrind time) ;;
esac
case " $* " in
  *" --fuzz "*) packages+=(clang libclang-rt-14-dev) ;;
esac

# The npm test peers at the versions tests/mail/package-lock.json pins, installed again only
# when the lock file changed.
npm_peers() {
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/mail"
  if cmp -s "$dir/package-lock.json" "$dir/node_modules/.quill-installed-lock" 2>/dev/null; then
    return 0
  fi
  echo "setup: installing the npm test peers (tests/mail)"
  # Without the registry (a machine behind a proxy npm does not trust, say) the rest still
  # works: the mailparser check reports itself skipped.
  if ! (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null 2>&1); then
    echo "setup: warning: npm could not install the test peers; the mailparser check will be skipped"
    return 0
  fi
  cp "$dir/package-lock.json" "$dir/node_modules/.quill-installed-lock"
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all dependencies present"
  npm_peers
  exit
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
npm_peers
echo "setup: done"
