// An arbitrary data file (any length, any slot bytes) under an arbitrary phrase: every
// scan runs over it, an entry is deleted, one added and the file re-keyed. Nothing may
// crash or read out of bounds; the file keeps its size; only the slot a command writes
// changes; re-keying keeps every entry as it reads.
#include <algorithm>
#include <functional>
#include <tuple>

#include "common.h"
#include "vault/datafile.h"
#include "vault/ioerror.h"
#include "vault/text.h"

namespace {

using Entry = std::tuple<std::string, std::string, std::string, std::string, std::string, std::string>;

std::vector<Entry> listing(vault::DataFile& df, const vault::Cipher& cipher) {
    std::vector<Entry> entries;
    df.scanList(cipher, [&](const vault::SiteRecord& r) {
        entries.emplace_back(r.status.str(), r.name.str(), r.website.str(), r.userId.str(), r.comments.str(),
                             r.password.str());
    });
    return entries;
}

std::string fileBytes(const std::string& path) {
    std::string bytes;
    if (!fuzz::readFile(path, bytes)) fuzz::fail("data file gone");
    return bytes;
}

// Only slot n differs between the two versions of the file.
void onlySlotChanged(const std::string& before, const std::string& after, int n) {
    FUZZ_CHECK(before.size() == after.size());
    const std::size_t from = static_cast<std::size_t>(n) * vault::kSlotSize;
    FUZZ_CHECK(before.compare(0, from, after, 0, from) == 0);
    FUZZ_CHECK(before.compare(from + vault::kSlotSize, std::string::npos, after, from + vault::kSlotSize,
                              std::string::npos) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const std::string phrase = in.shortText();
    const std::string newPhrase = in.shortText();
    const std::string name = in.shortText();
    const std::string file = in.rest();

    const vault::Locations paths = fuzz::usePaths();
    fuzz::writeBytes(paths.dataFile, file);
    vault::DataFile df(paths.dataFile);
    vault::Cipher cipher(phrase);
    auto fileBytes = [&] { return ::fileBytes(paths.dataFile); };
    auto listing = [&] { return ::listing(df, cipher); };
    const std::size_t slots = file.size() / vault::kSlotSize;

    if (slots == 0) {
        // Not a single whole slot: every scan reports the read past the end, and closes.
        for (const std::function<void()>& scan : std::vector<std::function<void()>>{
                 [&] { df.scanList(cipher, nullptr); }, [&] { df.findFreeSlot("x", cipher); },
                 [&] { df.findSlotByName("x", cipher); }, [&] { df.lookupListedName("x", cipher); },
                 [&] { df.scanForPrint(cipher, nullptr); }}) {
            try {
                scan();
                fuzz::fail("a scan of a file without slots succeeded");
            } catch (const vault::IoError& e) {
                FUZZ_CHECK(e.text() == "Read beyond end of file");
            }
            FUZZ_CHECK(!df.isOpen());
        }
        FUZZ_CHECK(fileBytes() == file);
        return 0;
    }

    // Every scan, read only.
    const std::vector<Entry> listed = listing();
    FUZZ_CHECK(!df.isOpen());
    int printed = 0;
    df.scanForPrint(cipher, [&](const vault::SiteRecord&) { ++printed; });
    FUZZ_CHECK(printed <= static_cast<int>(slots));
    for (std::size_t i = 0; i < std::min<std::size_t>(listed.size(), 3); ++i) {
        const std::string& listedName = std::get<1>(listed[i]);
        if (const auto shown = df.lookupListedName(listedName, cipher)) FUZZ_CHECK(shown->name.str() == listedName);
        FUZZ_CHECK(!df.isOpen());
    }
    FUZZ_CHECK(fileBytes() == file);

    // Delete the entry of that name (exact match), if the scan finds one.
    std::string before = file;
    const std::string wanted = vault::trim(name);
    int found = df.findSlotByName(wanted, cipher);
    if (found != vault::kNotFound) {
        FUZZ_CHECK(found >= 0 && static_cast<std::size_t>(found) + 1 < slots);
        FUZZ_CHECK(testsupport::slotOf(before, found, phrase).name.str() == wanted);
        df.writeSlot(found, fuzz::record("D", "", "", "", "", ""), cipher);
        df.close();
        const std::string after = fileBytes();
        onlySlotChanged(before, after, found);
        FUZZ_CHECK(after.compare(static_cast<std::size_t>(found) * vault::kSlotSize, 2,
                                 "\x01"
                                 "D",
                                 2) == 0);
        before = after;
    }
    FUZZ_CHECK(!df.isOpen());

    // Add an entry of that name.
    vault::FreeSlot free = df.findFreeSlot(name, cipher);
    if (free.kind == vault::FreeSlot::Found) {
        FUZZ_CHECK(free.slot >= 0 && static_cast<std::size_t>(free.slot) + 1 < slots);
        FUZZ_CHECK(df.isOpen());
        df.writeSlot(free.slot, fuzz::record("A", wanted, name, name, name, name), cipher);
        df.close();
        const std::string after = fileBytes();
        onlySlotChanged(before, after, free.slot);
        const auto now = listing();
        FUZZ_CHECK(std::any_of(now.begin(), now.end(), [&](const Entry& e) { return std::get<1>(e) == wanted; }));
        before = after;
    } else {
        FUZZ_CHECK(!df.isOpen());
        FUZZ_CHECK(fileBytes() == before);
    }

    // Re-key to the new phrase, confirmed or cancelled.
    const std::vector<Entry> beforeRekey = listing();
    const bool confirm = mode & 1;
    vault::RekeyResult result = df.rekey(cipher, phrase, newPhrase, [&](const std::string&) { return confirm; });
    FUZZ_CHECK(!df.isOpen());
    const std::string after = fileBytes();
    FUZZ_CHECK(after.size() == file.size());
    if (result == vault::RekeyResult::Cancelled) {
        FUZZ_CHECK(!confirm);
        FUZZ_CHECK(after == before);
    } else {
        cipher.setPhrase(newPhrase);
        FUZZ_CHECK(listing() == beforeRekey);
    }
    std::string temp;
    FUZZ_CHECK(!fuzz::readFile(vault::tempNameFor(paths.dataFile), temp));
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    using fuzz::record;
    std::vector<std::string> seeds;
    auto seed =
        std::string(1, '\1') + fuzz::lengthPrefixed("") + fuzz::lengthPrefixed("new") + fuzz::lengthPrefixed("Beta");
    // Plain (no phrase) file: in-use, deleted, never used, an entry hidden behind it.
    std::string plain = fuzz::bytesOf(record("A", "Alpha", "https://a.example", "al", "c", "pw")) +
                        fuzz::bytesOf(record("U", "Beta", "", "b", "", "pw2")) +
                        fuzz::bytesOf(record("D", "", "", "", "", "")) + fuzz::bytesOf(vault::SiteRecord{}) +
                        fuzz::bytesOf(record("A", "Hidden", "", "", "", ""));
    seeds.push_back(seed + plain);
    seeds.push_back(seed + plain + std::string(500, '\0'));  // a partial tail
    seeds.push_back(seed + std::string(1103, '\0'));         // not a single slot
    seeds.push_back(seed);                                   // an empty file
    // Junk statuses and lengths.
    vault::SiteRecord junk{};
    std::memset(&junk, 0xff, sizeof junk);
    seeds.push_back(seed + fuzz::bytesOf(junk) + fuzz::bytesOf(junk) + plain);
    // The same entries enciphered under a phrase, re-keyed to another.
    const std::string enciphered = testsupport::dataFileBytes(
        {record("A", "Alpha", "https://a.example", "al", "c", "pw"), record("A", "alpha", "", "", "", ""),
         record("A", "Gamma \xe9", "x", "y", "z", "0123456789012345678901234")},
        5, "old phrase");
    seeds.push_back(std::string(1, '\1') + fuzz::lengthPrefixed("old phrase") + fuzz::lengthPrefixed("other") +
                    fuzz::lengthPrefixed(" Alpha ") + enciphered);
    seeds.push_back(std::string(1, '\0') + fuzz::lengthPrefixed("old phrase") + fuzz::lengthPrefixed("") +
                    fuzz::lengthPrefixed("Gamma \xe9") + enciphered);
    return seeds;
}
