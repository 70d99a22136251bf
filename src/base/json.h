#pragma once

#include <nlohmann/json_fwd.hpp>

namespace korvane {

// The JSON value of the files we read and write. Objects keep their members in order: files are
// written in field order, and of two keys naming the same field the later one wins on reading.
using Json = nlohmann::ordered_json;

} // namespace korvane
