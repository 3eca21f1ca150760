#include "menu.h"

#include <array>
#include <type_traits>
#include <string_view>

#include "unicode.h"

namespace qh {
namespace {

constexpr std::string_view KeySet = MenuKeySet;
constexpr std::size_t None = std::string_view::npos;

// How a caption type splits into characters: ANSI bytes by the code page's
// lead bytes, UTF-16 by surrogate pairs with the width measure.
struct AnsiCaptions {
    using View = std::string_view;
    const CodePage& cp;

    // Bytes of the character at i; a lead byte with nothing after it stands alone.
    std::size_t Units(View s, std::size_t i) const {
        return cp.IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
    }
    bool IsDoubleByte(View s, std::size_t i) const { return Units(s, i) == 2; }
    bool OnBoundary(View s, std::size_t at) const { return cp.BoundaryAtOrBefore(s, at) == at; }
    bool DoubleByteCodePage() const { return cp.IsDoubleByte(); }
};

struct WideCaptions {
    using View = std::u16string_view;
    bool doubleByte;

    std::size_t Units(View s, std::size_t i) const { return UnitsAt(s, i); }
    bool IsDoubleByte(View s, std::size_t i) const { return WidthAt(s, i) == 2; }
    bool OnBoundary(View s, std::size_t at) const {
        std::size_t i = 0;
        while (i < at) i += Units(s, i);
        return i == at;
    }
    bool DoubleByteCodePage() const { return doubleByte; }
};

// Index in KeySet of the character at i, or None for any other character.
template <class Rules>
std::size_t KeyAt(typename Rules::View s, std::size_t i, const Rules& rules) {
    if (i >= s.size() || rules.Units(s, i) != 1) return None;
    using Char = typename Rules::View::value_type;
    if (static_cast<std::make_unsigned_t<Char>>(s[i]) > 0x7F) return None;
    const char c = static_cast<char>(s[i]);
    return KeySet.find(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

// The first "&" that is not half of "&&", as the system finds the marker.
template <class Rules>
std::size_t FindMarker(typename Rules::View s, const Rules& rules) {
    for (std::size_t i = 0; i < s.size(); i += rules.Units(s, i)) {
        if (s[i] != '&') continue;
        if (i + 1 < s.size() && s[i + 1] == '&')
            ++i;
        else
            return i;
    }
    return None;
}

template <class Rules>
bool HasDoubleByteChar(typename Rules::View s, const Rules& rules) {
    for (std::size_t i = 0; i < s.size(); i += rules.Units(s, i))
        if (rules.IsDoubleByte(s, i)) return true;
    return false;
}

template <class Caption, class Rules>
void AppendKey(Caption& caption, std::size_t key, const Rules& rules) {
    using Char = typename Caption::value_type;
    // Without a key the only lone "&" left is a dangling last one; doubled, it
    // stays a literal "&" rather than marking the "(" that follows.
    if (const std::size_t m = FindMarker<Rules>(caption, rules); m != None) caption.insert(m, 1, Char('&'));
    std::size_t at = caption.size();
    const Char dots[] = {'.', '.', '.', 0};
    if (caption.ends_with(dots) && rules.OnBoundary(caption, at - 3)) at -= 3;
    const Char mark[] = {'(', '&', static_cast<Char>(KeySet[key]), ')', 0};
    caption.insert(at, mark);
}

template <class Caption, class Rules>
std::vector<BasicMenuLevelItem<Caption>> LayOut(const std::vector<Caption>& captions, const Rules& rules) {
    using Item = BasicMenuLevelItem<Caption>;
    using Char = typename Caption::value_type;
    const Char dash[] = {'-', 0};
    std::vector<Item> items;
    items.reserve(captions.size());
    for (const Caption& caption : captions)
        items.push_back({caption, caption == dash, true, 0});

    // A separator shows only between two items, and only the last of a run.
    bool itemBefore = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].separator) {
            itemBefore = true;
            continue;
        }
        items[i].shown = itemBefore && i + 1 < items.size() && !items[i + 1].separator;
    }

    std::vector<Item*> waiting;  // items that still want a key
    std::array<bool, KeySet.size()> used{};
    auto take = [&](Item& item, std::size_t key) {
        used[key] = true;
        item.key = KeySet[key];
    };

    // Keys written into captions; a contested marker is dropped, which may
    // expose a later one, read again as the system would.
    for (Item& item : items) {
        if (item.separator || item.caption.empty()) continue;
        Caption& c = item.caption;
        bool keyed = false;
        while (!keyed) {
            const std::size_t m = FindMarker<Rules>(c, rules);
            if (m == None || m + 1 == c.size()) break;
            const std::size_t key = KeyAt<Rules>(c, m + 1, rules);
            if (key == None) {
                keyed = true;  // a key outside the set stays as written
            } else if (!used[key]) {
                take(item, key);
                keyed = true;
            } else {
                c.erase(m, 1);
            }
        }
        if (!keyed) waiting.push_back(&item);
    }

    // The first free character of the name; a caption with double-byte
    // characters shows it appended rather than marked in place.
    const bool doubleByte = rules.DoubleByteCodePage();
    std::erase_if(waiting, [&](Item* item) {
        Caption& c = item->caption;
        for (std::size_t i = 0; i < c.size() && c[i] != '\t'; i += rules.Units(c, i)) {
            const std::size_t key = KeyAt<Rules>(c, i, rules);
            if (key == None || used[key]) continue;
            take(*item, key);
            if (doubleByte && HasDoubleByteChar<Rules>(c, rules))
                AppendKey(c, key, rules);
            else
                c.insert(i, 1, Char('&'));
            return true;
        }
        return false;
    });
    if (!doubleByte) return items;

    // The rest take the last free keys; only a caption with double-byte
    // characters can show one, but the key is used up either way.
    for (Item* item : waiting) {
        std::size_t key = KeySet.size();
        while (key > 0 && used[key - 1]) --key;
        if (key == 0) break;
        used[--key] = true;
        if (HasDoubleByteChar<Rules>(item->caption, rules)) {
            item->key = KeySet[key];
            AppendKey(item->caption, key, rules);
        }
    }
    return items;
}

}  // namespace

std::vector<MenuLevelItem> LayOutMenuLevel(const std::vector<std::string>& captions,
                                           const CodePage& codePage) {
    return LayOut(captions, AnsiCaptions{codePage});
}

std::vector<WideMenuLevelItem> LayOutMenuLevel(const std::vector<std::u16string>& captions,
                                               bool doubleByteCodePage) {
    return LayOut(captions, WideCaptions{doubleByteCodePage});
}

}  // namespace qh
