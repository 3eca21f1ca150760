// The phrase file through the system's own file calls.
#pragma once

#include <memory>
#include <string>

#include "model.h"

namespace qh::win {

// The phrase file at a full path, read and replaced with the system's file
// calls: a new file is written beside it and moved over it in one step.
std::unique_ptr<PhraseFile> OpenPhraseFile(std::wstring path);

}  // namespace qh::win
