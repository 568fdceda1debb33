#pragma once
// Stage 2: syntax tree -> program, with the analyses behind the quick rejections.
#include <memory>
#include <string_view>

#include "regex/program.h"
#include "regex/syntax.h"

namespace korvex::regex {

// Parses and compiles a pattern; raises EPatternMatcher on a compile error.
std::unique_ptr<Program> compilePattern(std::string_view pattern, const CompileOptions& options);

}  // namespace korvex::regex
