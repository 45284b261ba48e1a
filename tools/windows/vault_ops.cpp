// The same scripted operations on the vault, for a native and a 32-bit Windows build:
// each step leaves a copy of the data file in the output folder, and a listing of the
// entries as read back goes to stdout. The two builds must produce identical bytes.
// Usage: vault_ops <output folder>
// (The text list of output/ is written too: its bytes must match as well.)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "output/textlist.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/settings.h"

using namespace vault;

namespace {

std::string folder;
Locations paths;
Cipher cipher;
// The data file at paths.dataFile, as one run of the program sees it.
DataFile& data() {
    static std::unique_ptr<DataFile> file;
    if (!file || file->path() != paths.dataFile) file = std::make_unique<DataFile>(paths.dataFile);
    return *file;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
void keep(const std::string& name) { writeAll(folder + kPathSeparator + name, readAll(paths.dataFile)); }

SiteRecord entry(const char* status, const std::string& name, const std::string& site, const std::string& user,
                 const std::string& comments, const std::string& password) {
    return makeRecord(status, name, site, user, comments, password);
}

bool add(const std::string& name, int i) {
    FreeSlot f = data().findFreeSlot(name, cipher);
    if (f.kind != FreeSlot::Found) return false;
    std::string n = std::to_string(i);
    const SiteRecord r =
        entry("A", "  " + name + "  ", "https://site" + n + ".example/login?x=" + n, "user\xe9" + n,
              "comment " + std::string(static_cast<std::size_t>(i * 7 % 250), static_cast<char>('!' + i % 90)),
              "pw" + std::string(static_cast<std::size_t>(i % 30), static_cast<char>(' ' + i % 95)));
    data().writeSlot(f.slot, r, cipher);
    data().close();
    return true;
}

void list(const char* title) {
    std::printf("== %s (phrase length %u)\n", title, static_cast<unsigned>(cipher.phrase().size()));
    data().scanList(cipher, [](const SiteRecord& r) {
        std::string line = r.status.str() + "|" + r.name.str() + "|" + r.website.str() + "|" + r.userId.str() + "|" +
                           r.comments.str() + "|" + r.password.str();
        for (unsigned char c : line) std::printf(c >= 32 && c < 127 ? "%c" : "\\x%02x", c);
        std::printf("\n");
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vault_ops <output folder>\n");
        return 2;
    }
    folder = argv[1];
    try {
        makeDirectory(folder);
        paths.dataFolder = folder;
        paths.settingsFile = folder + kPathSeparator + kSettingsFileName;
        paths.storageFolder = folder + kPathSeparator;
        paths.dataFile = paths.storageFolder + kDataFileName;
        paths.legacyFile = paths.storageFolder + kLegacyFileName;
        removeFileQuietly(paths.dataFile);

        data().create();
        keep("1-created.dat");

        cipher.setPhrase("Correct Horse \xe9 Battery ~ 9!");
        for (int i = 0; i < 60; ++i) add("Site " + std::to_string(i) + (i % 3 ? " \xc9t\xe9" : ""), i);
        add("Site 5", 99);               // refused: already there
        add("SITE 7", 99);               // refused: letter case does not count
        add(std::string(300, 'L'), 61);  // cut to 255
        keep("2-added.dat");

        for (int i = 0; i < 60; i += 4) {  // updates
            std::string name = "Site " + std::to_string(i) + (i % 3 ? " \xc9t\xe9" : "");
            int n = data().findSlotByName(name, cipher);
            if (n == kNotFound) continue;
            data().writeSlot(n, entry("U", name, "http://changed/" + std::to_string(i), "", "", std::string(40, 'P')),
                             cipher);
            data().close();
        }
        for (int i = 1; i < 60; i += 5) {  // deletes
            std::string name = "Site " + std::to_string(i) + (i % 3 ? " \xc9t\xe9" : "");
            int n = data().findSlotByName(name, cipher);
            if (n == kNotFound) continue;
            data().writeSlot(n, entry("D", "", "", "", "", ""), cipher);
            data().close();
        }
        add("Reuses a deleted slot", 70);
        keep("3-edited.dat");
        list("edited");

        data().rekey(cipher, std::string(cipher.phrase()), "a second, longer phrase with more than sixteen characters",
                     [](const std::string&) { return true; });
        keep("4-rekeyed.dat");
        list("re-keyed");
        data().rekey(cipher, std::string(cipher.phrase()), "", [](const std::string&) { return true; });
        keep("5-plain.dat");
        list("plain");

        // A legacy file of 50 slots, converted.
        std::string legacy;
        for (int i = 0; i < 50; ++i) {
            LegacySiteRecord old{};
            if (i < 40) {
                old.status.assign(i % 9 == 4 ? "D" : "A");
                old.name.assign("old " + std::to_string(i));
                old.website.assign("www.old" + std::to_string(i) + ".example");
                old.userId.assign("who");
                old.comments.assign(std::string(static_cast<std::size_t>(i), '#'));
                std::memset(old.password, '?', sizeof old.password);
                std::memcpy(old.password, "ab?c\xe9", 5);
            }
            legacy.append(reinterpret_cast<const char*>(&old), sizeof old);
        }
        removeFileQuietly(paths.dataFile);
        writeAll(paths.legacyFile, legacy);
        if (data().convertLegacy(paths.legacyFile) != LegacyResult::Converted)
            throw std::runtime_error("legacy file not converted");
        keep("6-converted.dat");
        list("converted");

        // The text list of the converted entries (CR LF line ends on every platform).
        {
            output::TextListFile text(folder + kPathSeparator + "7-textlist.txt");
            data().scanList(cipher, [&](const SiteRecord& r) {
                text.writeEntry(r.name.str(), r.website.str(), r.userId.str(), r.password.str(), r.comments.str());
            });
            text.close();
        }

        // Window sizes: the values read back (line ends differ by platform by design).
        saveSize("Frmfirst", paths.settingsFile, 1024, 700);
        saveSize("Webbrowser1", paths.settingsFile, 0, 550);
        saveSize("Frmfirst", paths.settingsFile, 0, 701);
        std::printf("== sizes %d %d %d %d\n", readWidth("Frmfirst", paths.settingsFile),
                    readHeight("Frmfirst", paths.settingsFile), readWidth("Webbrowser1", paths.settingsFile),
                    readHeight("Webbrowser1", paths.settingsFile));

        // Failure texts from the system's own errors.
        paths.dataFile = folder + kPathSeparator + "missing" + kPathSeparator + kDataFileName;
        try {
            data().open();
        } catch (const IoError& e) {
            std::printf("== missing file: %s\n", e.text().c_str());  // the path differs between the systems
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vault_ops failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
