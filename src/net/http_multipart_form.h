#pragma once
// THttpMultipartForm: parts of a multipart/form-data request body. Empty unless code adds parts;
// a transfer sends the parts only when there are some.
#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

class THttpMultipartForm {
public:
    THttpMultipartForm();
    ~THttpMultipartForm();
    THttpMultipartForm(const THttpMultipartForm&) = delete;
    THttpMultipartForm& operator=(const THttpMultipartForm&) = delete;

    // A field with the given bytes as its value.
    void addField(std::string_view name, std::string_view value);
    // A file field whose content is read from `path` during the transfer.
    void addFile(std::string_view name, std::string_view path);
    void clear() noexcept;
    std::size_t count() const noexcept { return m_parts.size(); }

    // Builds the libcurl body for `handle` from the parts. Answers CURLE_READ_ERROR (26) when a
    // file part cannot be read, another code when libcurl refuses a part, CURLE_OK otherwise.
    // The built body stays valid until the next build, clear() or the form's destruction, and
    // is what body() returns.
    CURLcode build(CURL* handle);
    curl_mime* body() const noexcept { return m_body.get(); }

private:
    struct Part {
        std::string name;
        std::string data;  // the value, or the file's path
        bool isFile;
    };
    struct MimeFree {
        void operator()(curl_mime* mime) const noexcept { curl_mime_free(mime); }
    };
    std::vector<Part> m_parts;
    std::unique_ptr<curl_mime, MimeFree> m_body;
};

}  // namespace korvex
