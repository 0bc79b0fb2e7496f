// A scratch folder for tests that write files, removed with everything in it at the end.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "projector/records/text_codec.h"

namespace quill::test {

class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("quill-test-" + std::to_string(processId()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }
    // The folder as UTF-8 text ending in a separator, as the record readers take it.
    std::string text() const {
        return project::fromFsPath(project::utf8Codec(), path_) + project::kPathSeparator;
    }

    void write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::FILE* f = project::openFsPath(file, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string read(const std::string& relative) const { return readFile(path_ / relative); }

    static std::string readFile(const std::filesystem::path& file) {
        std::string bytes;
        if (std::FILE* f = project::openFsPath(file, "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
            std::fclose(f);
        }
        return bytes;
    }

  private:
    static long processId();
    std::filesystem::path path_;
};

}  // namespace quill::test

#ifdef _WIN32
#include <process.h>
inline long quill::test::TempFolder::processId() {
    return _getpid();
}
#else
#include <unistd.h>
inline long quill::test::TempFolder::processId() {
    return getpid();
}
#endif
