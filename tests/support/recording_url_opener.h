#pragma once
// A UrlOpener that starts nothing and keeps every address it was handed, in order.
#include <string>
#include <vector>

#include "platform/open_url.h"

namespace korvex::test {

class RecordingUrlOpener : public UrlOpener {
public:
    void open(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

}  // namespace korvex::test
