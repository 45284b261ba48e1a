#include "vault/entry.h"

#include "vault/text.h"

namespace vault {

bool addressNeedsScheme(std::string_view website) {
    return website.find("http://") == std::string_view::npos && website.find("https://") == std::string_view::npos;
}

std::string completedAddress(std::string_view website) {
    return addressNeedsScheme(website) ? "http://" + Trim(website) : Trim(website);
}

bool passwordHasSpace(std::string_view password) { return password.find(' ') != std::string_view::npos; }

std::string nameKey(std::string_view name) { return UpperAscii(Trim(name)); }

Entry entryOf(const SiteRecord& r) {
    return Entry{r.Name.str(), r.Website.str(), r.UserId.str(), r.Password.str(), r.Comments.str()};
}

SiteRecord recordOf(std::string_view status, const Entry& e) {
    return MakeRecord(status, Trim(e.name), Trim(e.website), Trim(e.userId), Trim(e.comments), Trim(e.password));
}

SiteRecord deletedRecord() { return MakeRecord("D", {}); }

}  // namespace vault
