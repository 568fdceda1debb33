#include "net/http_multipart_form.h"

namespace korvex {

THttpMultipartForm::THttpMultipartForm() = default;
THttpMultipartForm::~THttpMultipartForm() = default;

void THttpMultipartForm::addField(std::string_view name, std::string_view value) {
    m_parts.push_back({std::string(name), std::string(value), false});
}

void THttpMultipartForm::addFile(std::string_view name, std::string_view path) {
    m_parts.push_back({std::string(name), std::string(path), true});
}

void THttpMultipartForm::clear() noexcept {
    m_parts.clear();
    m_body.reset();
}

CURLcode THttpMultipartForm::build(CURL* handle) {
    m_body.reset(curl_mime_init(handle));
    if (!m_body) return CURLE_OUT_OF_MEMORY;
    for (const Part& part : m_parts) {
        curl_mimepart* field = curl_mime_addpart(m_body.get());
        if (field == nullptr) return CURLE_OUT_OF_MEMORY;
        CURLcode answer = curl_mime_name(field, part.name.c_str());
        if (answer == CURLE_OK) {
            // A file that cannot be read answers CURLE_READ_ERROR here, before anything is sent.
            answer = part.isFile ? curl_mime_filedata(field, part.data.c_str())
                                 : curl_mime_data(field, part.data.data(), part.data.size());
        }
        if (answer != CURLE_OK) return answer;
    }
    return CURLE_OK;
}

}  // namespace korvex
