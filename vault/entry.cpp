#include "vault/entry.h"

#include <algorithm>

#include "vault/windows1252.h"
#include "vault/text.h"

namespace vault {

std::size_t fieldWidth(Field field) { return field == Field::Password ? kPasswordWidth : kTextWidth; }

bool addressNeedsScheme(std::string_view website) {
    return website.find("http://") == std::string_view::npos && website.find("https://") == std::string_view::npos;
}

std::string completedAddress(std::string_view website) {
    return addressNeedsScheme(website) ? "http://" + trim(website) : trim(website);
}

bool passwordHasSpace(std::string_view password) { return password.find(' ') != std::string_view::npos; }

Entry storedForm(const Entry& typed, Operation operation) {
    std::string name = trim(typed.name);
    switch (operation) {
    case Operation::Add:
    case Operation::Import: name = upperText(name); break;
    case Operation::Update: break;
    }
    return Entry{std::move(name), completedAddress(typed.website), trim(typed.userId), trim(typed.password),
                 trim(typed.comments)};
}

std::string nameAsTheBoxTakesIt(std::string_view text) {
    return upperText(text.substr(0, std::min(text.find('\n'), text.find('\r'))));
}

namespace {

constexpr Field kFields[] = {Field::Name, Field::Website, Field::UserId, Field::Password, Field::Comments};

// Calls use with the field's text (a std::string, or the password's SecretText).
template <class AnEntry, class Use>
auto withText(AnEntry& e, Field field, Use use) {
    switch (field) {
    case Field::Name: return use(e.name);
    case Field::Website: return use(e.website);
    case Field::UserId: return use(e.userId);
    case Field::Password: return use(e.password);
    case Field::Comments: return use(e.comments);
    }
    return use(e.comments);
}

}  // namespace

std::optional<TextFault> textFault(const Entry& stored) {
    for (Field field : kFields) {
        const std::string_view text = withText(stored, field, [](const auto& t) { return std::string_view(t); });
        for (unsigned char c : text)
            if ((c < 32 || c == 127) && !(c == '\t' && field == Field::Comments))
                return TextFault{TextFault::ControlCharacter, field, c};
        if (text.size() > fieldWidth(field)) return TextFault{TextFault::TooLong, field};
    }
    return std::nullopt;
}

std::vector<Field> cutToWidths(Entry& entry) {
    std::vector<Field> cut;
    for (Field field : kFields) {
        const bool tooLong = withText(entry, field, [&](auto& text) {
            if (text.size() <= fieldWidth(field)) return false;
            text.resize(fieldWidth(field));
            return true;
        });
        if (tooLong) cut.push_back(field);
    }
    return cut;
}

std::string nameKey(std::string_view name) { return upperText(trim(name)); }

bool hasNameKey(std::string_view name, std::string_view key) {
    std::size_t first = 0, last = name.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    while (first < last && at(first) <= 32) ++first;
    while (last > first && at(last - 1) <= 32) --last;
    if (last - first != key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (upperByte(at(first + i)) != static_cast<unsigned char>(key[i])) return false;
    return true;
}

NameFilter::NameFilter(std::string_view typed) : wanted_(upperText(typed)), active_(!trim(typed).empty()) {}

NameFilter NameFilter::fromUtf8(std::string_view typed) {
    if (std::optional<std::string> text = windows1252FromUtf8Exactly(typed)) return NameFilter(*text);
    NameFilter none{std::string_view()};
    none.active_ = true;
    none.matchesNothing_ = true;
    return none;
}

bool NameFilter::matches(std::string_view name) const {
    if (matchesNothing_) return false;
    return !active_ || name.find(wanted_) != std::string_view::npos;
}

bool listedBefore(std::string_view a, std::string_view b) {
    const auto code = [](char c) { return unicodeOfWindows1252(static_cast<unsigned char>(c)); };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return code(x) < code(y); });
}

void sortAsListed(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return listedBefore(a, b); });
}

Entry entryOf(const SiteRecord& r) {
    return Entry{r.name.str(), r.website.str(), r.userId.str(), r.password.str(), r.comments.str()};
}

SiteRecord recordOf(std::string_view status, const Entry& e) {
    return makeRecord(status, trim(e.name), trim(e.website), trim(e.userId), trim(e.comments), trimmedView(e.password));
}

SiteRecord deletedRecord() { return makeRecord("D", {}); }

}  // namespace vault
