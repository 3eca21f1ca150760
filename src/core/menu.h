// The tray menu's display rules for one menu level, free of any window:
// separator reduction and the automatic access keys.
#pragma once

#include <string>
#include <vector>

#include "text.h"

namespace qh {

// The keys handed out automatically, in order of preference.
inline constexpr char MenuKeySet[] = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";

template <class Caption>
struct BasicMenuLevelItem {
    Caption caption;         // after LayOutMenuLevel, with its access key
    bool separator = false;  // set by LayOutMenuLevel for a caption of exactly "-"
    bool shown = true;       // false for a separator that the reduction hides:
                             // leave it out of the menu
    char key = 0;            // the key from MenuKeySet the caption marks, upper
                             // case; 0 when it marks none of them
};
using MenuLevelItem = BasicMenuLevelItem<std::string>;        // ANSI bytes
using WideMenuLevelItem = BasicMenuLevelItem<std::u16string>;  // UTF-16

// Applies the display rules to one level, in place of the given captions:
// separators are items whose caption is exactly "-"; leading, trailing and
// all but the last of consecutive separators are hidden; every other
// non-empty caption gets a distinct access key from MenuKeySet.
//
// Captions are read as the system reads them: the first "&" that is not half
// of "&&" marks the key, wherever it stands, the part after a TAB included.
// A key is chosen automatically from the part before the first TAB only
// (the shortcut column is not the item's name); an appended "(&X)" still
// goes at the very end of the caption, before a final "...".
//
// Served in three rounds, each in item order, so that keys written into a
// caption win over chosen ones: existing markers (the earlier item keeps a
// contested key), then the first free character, then, on double-byte code
// pages, the last free key of the set.
std::vector<MenuLevelItem> LayOutMenuLevel(const std::vector<std::string>& captions,
                                           const CodePage& codePage);
// The same rules over UTF-16 captions, where a double-byte character is one
// of width 2 by the width measure (unicode.h); `doubleByteCodePage` says
// whether the system's code page is double-byte, which enables the "(&X)" form.
std::vector<WideMenuLevelItem> LayOutMenuLevel(const std::vector<std::u16string>& captions,
                                               bool doubleByteCodePage);

}  // namespace qh
