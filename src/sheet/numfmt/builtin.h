// The built-in number formats, by id, with their en-US codes.
#pragma once

#include <string_view>

namespace dialsift::sheet::numfmt {

// Empty for ids without a built-in code.
std::string_view BuiltinCode(int id);

}  // namespace dialsift::sheet::numfmt
