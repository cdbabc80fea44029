#pragma once

#include <string>

struct sf_private_tag;

namespace velto {

// libsndfile's word on the last failure of `file` (null: of the last open),
// to go inside one of Velto's sentences: without its full stop, and without
// the "System error : " it puts before the system's own words.
std::string SndfileError(sf_private_tag* file);

}  // namespace velto
