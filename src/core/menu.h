// The tray menu's display rules for one menu level, free of any window:
// separator reduction and the automatic access keys.
#pragma once

#include <string>
#include <vector>

#include "text.h"

namespace qh {

struct MenuLevelItem {
    std::string caption;     // ANSI bytes; after LayOutMenuLevel, with its access key
    bool separator = false;  // set by LayOutMenuLevel for a caption of exactly "-"
    bool shown = true;       // false for a separator that the reduction hides
};

// Applies the display rules to one level, in place of the given captions:
// separators are items whose caption is exactly "-"; leading, trailing and
// all but the last of consecutive separators are hidden; every other
// non-empty caption gets a distinct access key from "1234567890A..Z".
std::vector<MenuLevelItem> LayOutMenuLevel(const std::vector<std::string>& captions,
                                           const CodePage& codePage);

}  // namespace qh
