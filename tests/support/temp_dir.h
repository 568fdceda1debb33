#pragma once
// A folder of its own under the system's temporary folder for one test, removed with everything
// in it when the object goes.
#include <filesystem>
#include <string>
#include <string_view>

namespace korvex::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    // The path of `name` inside the folder (the file is not made).
    std::string file(std::string_view name) const;
    // Writes `bytes` to `name` inside the folder and answers its path.
    std::string write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path m_path;
};

// The whole content of a file as bytes ("" when it cannot be read).
std::string readFile(const std::string& path);

}  // namespace korvex::test
