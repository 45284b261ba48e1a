// The cipher on arbitrary phrases and texts: deciphering undoes enciphering, lengths are
// kept, characters outside 33..126 stay in place, and every character is the step by
// step shift of its own position. The record routine keeps its fields in their areas.
#include "common.h"
#include "vault/text.h"

namespace {

// The cipher written out from its definition, one character at a time.
std::string reference(const std::string& phrase, const std::string& text, bool backward) {
    static const int offsets[4] = {3, 1, 8, 7};
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned c = static_cast<unsigned char>(out[i]);
        if (c < 33 || c > 126) continue;
        int k = static_cast<unsigned char>(phrase[i % phrase.size()]);
        int shift = k + offsets[i % 4];
        int v = static_cast<int>(c) - 33 + (backward ? -shift : shift);
        v %= 94;
        if (v < 0) v += 94;
        out[i] = static_cast<char>(33 + v);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    std::string phrase = in.shortText();
    std::string text = in.take(300);

    vault::Cipher cipher(phrase);
    // The phrase in force: at most 255 characters, up to the first zero byte.
    std::string inForce = phrase.substr(0, std::min<std::size_t>(phrase.find('\0'), 255));
    FUZZ_CHECK(cipher.phrase() == inForce);
    FUZZ_CHECK(cipher.state().length == inForce.size());
    for (std::size_t i = inForce.size(); i < 256; ++i) FUZZ_CHECK(cipher.state().text[i] == 0);

    const std::string trimmed = vault::trim(text);
    if (trimmed.size() > 255) return 0;  // outside the routines' contract

    const std::string enc = cipher.encipherText(text);
    const std::string dec = cipher.decipherText(text);
    if (inForce.empty()) {
        FUZZ_CHECK(enc == text);
        FUZZ_CHECK(dec == text);
    } else {
        FUZZ_CHECK(enc.size() == trimmed.size());
        FUZZ_CHECK(enc == reference(inForce, trimmed, false));
        FUZZ_CHECK(dec == reference(inForce, trimmed, true));
        FUZZ_CHECK(cipher.decipherText(enc) == trimmed);
        FUZZ_CHECK(cipher.encipherText(dec) == trimmed);
        for (std::size_t i = 0; i < enc.size(); ++i) {
            unsigned char before = static_cast<unsigned char>(trimmed[i]), after = static_cast<unsigned char>(enc[i]);
            if (before < 33 || before > 126)
                FUZZ_CHECK(after == before);
            else
                FUZZ_CHECK(after >= 33 && after <= 126);
        }
    }

    // The record routine on the same text in every field (the password cut to 25).
    vault::SiteRecord r{};
    std::memset(&r, mode, sizeof r);  // junk behind the texts and in the reserved fields
    r.status.assign(mode & 1 ? "A" : "U");
    const std::string field = text.substr(0, 255);
    r.name.assign(field);
    r.website.assign(field);
    r.userId.assign(field);
    r.comments.assign(field);
    r.password.assign(field);
    const vault::SiteRecord original = r;
    cipher.encipher(r);
    FUZZ_CHECK(std::memcmp(&r.status, &original.status, sizeof r.status) == 0);
    FUZZ_CHECK(r.reserved1.length == 0 && r.reserved2.length == 0);
    FUZZ_CHECK(r.password.length <= 25);
    if (!inForce.empty()) {
        auto zeroBehind = [](const auto& f) {
            for (std::size_t i = f.length; i < sizeof f.chars; ++i) FUZZ_CHECK(f.chars[i] == 0);
        };
        zeroBehind(r.name);
        zeroBehind(r.website);
        zeroBehind(r.userId);
        zeroBehind(r.comments);
        zeroBehind(r.password);
    }
    cipher.decipher(r);
    FUZZ_CHECK(r.name.str() == vault::trim(field));
    FUZZ_CHECK(r.website.str() == r.name.str() && r.userId.str() == r.name.str() && r.comments.str() == r.name.str());
    FUZZ_CHECK(r.password.str() == vault::trim(vault::trim(field.substr(0, 25))));
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    std::vector<std::string> seeds;
    const std::string texts[] = {"",
                                 "   ",
                                 "Bank of Example",
                                 "  padded \t",
                                 "\x01\x7f\x80\xff mixed \xe9t\xe9 ~!",
                                 std::string(255, 'z'),
                                 std::string(25, '#') + "tail",
                                 "a b c d e f g h"};
    const std::string phrases[] = {"",
                                   "k",
                                   "abc",
                                   "correct horse battery staple",
                                   std::string(255, '~'),
                                   std::string("\xff\x80 8-bit", 8),
                                   std::string("cut\0here", 8)};
    int mode = 0;
    for (const auto& p : phrases)
        for (const auto& t : texts)
            seeds.push_back(std::string(1, static_cast<char>(mode++)) + fuzz::lengthPrefixed(p) + t);
    return seeds;
}
