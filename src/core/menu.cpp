#include "menu.h"

#include <array>
#include <string_view>

namespace qh {
namespace {

constexpr std::string_view KeySet = MenuKeySet;
constexpr std::size_t None = std::string_view::npos;

// Bytes of the character at i; a lead byte with nothing after it stands alone.
std::size_t CharWidth(std::string_view s, std::size_t i, const CodePage& cp) {
    return cp.IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Index in KeySet of the character at i, or None for any other character.
std::size_t KeyAt(std::string_view s, std::size_t i, const CodePage& cp) {
    if (i >= s.size() || CharWidth(s, i, cp) != 1) return None;
    const char c = s[i];
    return KeySet.find(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

// The first "&" that is not half of "&&", as the system finds the marker.
std::size_t FindMarker(std::string_view s, const CodePage& cp) {
    for (std::size_t i = 0; i < s.size(); i += CharWidth(s, i, cp)) {
        if (s[i] != '&') continue;
        if (i + 1 < s.size() && s[i + 1] == '&')
            ++i;
        else
            return i;
    }
    return None;
}

bool HasDoubleByteChar(std::string_view s, const CodePage& cp) {
    for (std::size_t i = 0; i < s.size(); i += CharWidth(s, i, cp))
        if (CharWidth(s, i, cp) == 2) return true;
    return false;
}

void AppendKey(std::string& caption, std::size_t key, const CodePage& cp) {
    // Without a key the only lone "&" left is a dangling last one; doubled, it
    // stays a literal "&" rather than marking the "(" that follows.
    if (const std::size_t m = FindMarker(caption, cp); m != None) caption.insert(m, 1, '&');
    std::size_t at = caption.size();
    if (caption.ends_with("...") && cp.BoundaryAtOrBefore(caption, at - 3) == at - 3) at -= 3;
    caption.insert(at, std::string{'(', '&', KeySet[key], ')'});
}

}  // namespace

std::vector<MenuLevelItem> LayOutMenuLevel(const std::vector<std::string>& captions,
                                           const CodePage& codePage) {
    std::vector<MenuLevelItem> items;
    items.reserve(captions.size());
    for (const std::string& caption : captions)
        items.push_back({caption, caption == "-", true, 0});

    // A separator shows only between two items, and only the last of a run.
    bool itemBefore = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].separator) {
            itemBefore = true;
            continue;
        }
        items[i].shown = itemBefore && i + 1 < items.size() && !items[i + 1].separator;
    }

    std::vector<MenuLevelItem*> waiting;  // items that still want a key
    std::array<bool, KeySet.size()> used{};
    auto take = [&](MenuLevelItem& item, std::size_t key) {
        used[key] = true;
        item.key = KeySet[key];
    };

    // Keys written into captions; a contested marker is dropped, which may
    // expose a later one, read again as the system would.
    for (MenuLevelItem& item : items) {
        if (item.separator || item.caption.empty()) continue;
        std::string& c = item.caption;
        bool keyed = false;
        while (!keyed) {
            const std::size_t m = FindMarker(c, codePage);
            if (m == None || m + 1 == c.size()) break;
            const std::size_t key = KeyAt(c, m + 1, codePage);
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
    const bool doubleByte = codePage.IsDoubleByte();
    std::erase_if(waiting, [&](MenuLevelItem* item) {
        std::string& c = item->caption;
        for (std::size_t i = 0; i < c.size() && c[i] != '\t'; i += CharWidth(c, i, codePage)) {
            const std::size_t key = KeyAt(c, i, codePage);
            if (key == None || used[key]) continue;
            take(*item, key);
            if (doubleByte && HasDoubleByteChar(c, codePage))
                AppendKey(c, key, codePage);
            else
                c.insert(i, 1, '&');
            return true;
        }
        return false;
    });
    if (!doubleByte) return items;

    // The rest take the last free keys; only a caption with double-byte
    // characters can show one, but the key is used up either way.
    for (MenuLevelItem* item : waiting) {
        std::size_t key = KeySet.size();
        while (key > 0 && used[key - 1]) --key;
        if (key == 0) break;
        used[--key] = true;
        if (HasDoubleByteChar(item->caption, codePage)) {
            item->key = KeySet[key];
            AppendKey(item->caption, key, codePage);
        }
    }
    return items;
}

}  // namespace qh
