// CSV import: an export's bytes (any encoding, byte-order marks, line ends, quotes,
// cells beyond the header) through the reader and each row's mapping. Every row is
// either skipped with a reason or prepared exactly as the file gives it, up to the
// differences it names, and the session stores it as prepared; the reader's records
// are written back to the same records.
#include "common.h"
#include "cli/csv.h"
#include "cli/importrows.h"
#include "vault/session.h"
#include "vault/text.h"
#include "vault/windows1252.h"

namespace {

// Headers of each family, so that mutations reach the mapping, not only the reader.
const char* const kHeaders[] = {
    "name,url,username,password,note",
    "url,username,password,httpRealm,formActionOrigin,guid",
    "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,login_password,login_totp",
    "Group,Title,Username,Password,URL,Notes,TOTP",
    "Account,Login Name,Password,Web Site,Comments",
    "Title,Url,Username,Password,OTPAuth,Favorite,Archived,Tags,Notes",
    "url,username,password,totp,extra,name,grouping,fav",
    "username,username2,title,password,note,url,otpSecret",
    "!type,!group_id,!group_name,!group_parent,id,title,username,password,URL",
    "title,url,username,password,notes,ainfo,autosubmit",
};

std::string encoded(const std::string& utf8, std::uint8_t how) {
    switch (how % 5) {
    case 1: return "\xEF\xBB\xBF" + utf8;
    case 2:
    case 3: {  // UTF-16 with its byte-order mark, little or big end first
        std::string out = how % 5 == 2 ? "\xFF\xFE" : "\xFE\xFF";
        for (unsigned char c : utf8) {  // bytes as code units: any text, not always UTF-8
            out += how % 5 == 2 ? std::string{char(c), '\0'} : std::string{'\0', char(c)};
        }
        return out;
    }
    case 4: {  // CR LF line ends
        std::string out;
        for (char c : utf8) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    }
    }
    return utf8;
}

std::string w1252(const std::string& utf8) { return vault::windows1252FromUtf8(utf8); }

bool hasChange(const cli::PreparedRow& p, const std::string& part) {
    for (const std::string& c : p.changes)
        if (c.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace

std::vector<std::string> FuzzSeeds() {
    return {
        std::string("\x00\x00", 2) + "chrome.example,https://chrome.example/,cu,cp1,\"a, \"\"b\"\"\"\n",
        std::string("\x00\x01", 2) + "bank,http://bank.example,alice,pa,ss,word\n,http://sp.example :8080/x,u,p\n",
        std::string("\x02\x00", 2) + "Work,1,login,W,n,\"pin: 1234\nhint: blue\",0,https://w.example,u,p,otpauth://x\n",
        std::string("\x08\x04", 2) + "group,1,General,0,,,,,\nentry,1,,,9,B,u,p,https://b.example\n",
        std::string("\x09\x02", 2) + "O,http:,u,p,\xef\xbb\xbfn,x,Default\n\"two\nlines\",https://t.example,u,p\n",
        std::string("\x03\x03", 2) + "Root,Kee,ku,kp,https://kee.example,\"\",\"\"\n",
        std::string("\xff\x00", 2) + "a,b\n\"unclosed\n",
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t headerPick = in.byte();
    const std::uint8_t how = in.byte();
    std::string body = in.rest();
    // Most inputs start with a known header; the rest are CSV as they come.
    const std::size_t headers = sizeof kHeaders / sizeof *kHeaders;
    if (headerPick < headers * 20) body = std::string(kHeaders[headerPick % headers]) + "\n" + body;
    const std::string bytes = encoded(body, how);

    std::string howRead, problem;
    const std::optional<vault::SecretText> text = cli::importText(bytes, howRead, problem);
    if (!text) {
        FUZZ_CHECK(!problem.empty());
        return 0;
    }
    FUZZ_CHECK(vault::isUtf8(*text));
    std::size_t unclosed = 0;
    std::vector<std::size_t> lines;
    const std::optional<std::vector<cli::CsvRow>> rows = cli::parseCsv(*text, &unclosed, &lines);
    if (!rows) {
        FUZZ_CHECK(unclosed >= 1);
        return 0;
    }
    FUZZ_CHECK(lines.size() == rows->size());
    for (std::size_t i = 0; i < lines.size(); ++i) FUZZ_CHECK(lines[i] >= 1 && (i == 0 || lines[i] > lines[i - 1]));
    // What the writer makes of a record reads back as that record.
    for (const cli::CsvRow& row : *rows) {
        if (row.size() == 1 && row[0].empty()) continue;  // a blank line is no record
        const std::optional<std::vector<cli::CsvRow>> again = cli::parseCsv(cli::csvLine(row));
        FUZZ_CHECK(again && again->size() == 1 && again->front() == row);
    }

    const std::optional<cli::Export> ex = cli::readExport(*rows);
    if (!ex) return 0;
    FUZZ_CHECK(ex->logins.size() + 1 == rows->size());
    const std::size_t headerCells = rows->front().size();
    vault::Session session(fuzz::usePaths());
    for (std::size_t i = 0; i < ex->logins.size(); ++i) {
        const cli::Login& l = ex->logins[i];
        const cli::CsvRow& row = (*rows)[i + 1];
        bool extraFilled = false;
        for (std::size_t c = headerCells; c < row.size(); ++c) extraFilled = extraFilled || !row[c].empty();
        // A row with cells past the header is never stored, so never stored cut.
        if (extraFilled) FUZZ_CHECK(!l.skipReason.empty());
        if (!l.skipReason.empty()) continue;
        const cli::PreparedRow p = cli::prepareRow(l, {});
        if (!p.skipReason.empty()) continue;
        const vault::Entry& e = p.entry;
        // The password exactly as in the file, always.
        FUZZ_CHECK(vault::utf8FromWindows1252(e.password) == l.password);
        FUZZ_CHECK(e.password.size() <= vault::kPasswordWidth);
        // The other texts exactly, unless a change says otherwise.
        FUZZ_CHECK(vault::utf8FromWindows1252(e.userId) ==
                   (hasChange(p, "user ID trimmed") ? vault::trim(l.username) : l.username));
        if (!hasChange(p, "address") && !hasChange(p, "scheme"))
            FUZZ_CHECK(vault::utf8FromWindows1252(e.website) == l.url);
        if (!l.name.empty() && !hasChange(p, "name")) FUZZ_CHECK(e.name == vault::upperText(w1252(l.name)));
        if (p.changes.empty()) FUZZ_CHECK(vault::utf8FromWindows1252(e.comments) == l.note);
        FUZZ_CHECK(vault::utf8FromWindows1252(e.name) == p.shown);
        FUZZ_CHECK(e.name.size() <= vault::kTextWidth && e.website.size() <= vault::kTextWidth &&
                   e.userId.size() <= vault::kTextWidth && e.comments.size() <= vault::kTextWidth);
        // The session stores it as prepared, or refuses it (then the import reports why).
        const vault::AddResult r = session.checkBeforeScan(e, vault::Operation::Import);
        if (r.outcome != vault::AddOutcome::Added) continue;
        FUZZ_CHECK(r.entry.name == e.name && r.entry.userId == e.userId && r.entry.password == e.password &&
                   r.entry.comments == e.comments);
        FUZZ_CHECK(r.entry.website == e.website || r.entry.website == "http://" + e.website);
    }
    return 0;
}
