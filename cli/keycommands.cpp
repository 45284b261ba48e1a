// keyfold-cli's commands on the data file's key: rekey (a new key phrase), seal and
// unseal (the sealed file and the plain one). The vault session holds every rule; these
// ask for the phrases and the confirmations, and word its outcomes.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "vault/keyphrase.h"
#include "vault/secret.h"
#include "vault/session.h"

namespace cli {

int cmdRekey(Context& c) {
    if (!c.args.isEmpty()) fail(kUsage, "rekey takes no arguments");
    vault::Session& session = c.session();
    session.refuseUnreachableLink();
    if (!session.dataFileExists()) fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    session.removeLeftoverTemp();
    const vault::SecretText oldPhrase = c.input.keyPhrase("old key phrase");
    // A plain file cannot tell every mistyped phrase from its own: the old one is typed
    // twice. A sealed file's tag proves it.
    if (!session.sealedFileExists()) {
        const vault::SecretText oldAgain = c.input.keyPhrase("old key phrase again");
        if (!vault::samePhrase(oldAgain, oldPhrase))
            fail(kCancelled, "the two old key phrases differ; nothing was changed");
    }
    const vault::SecretText newPhrase = c.input.keyPhrase("new key phrase", Input::Phrase::New);
    const vault::SecretText again = c.input.keyPhrase("new key phrase again", Input::Phrase::New);
    if (!vault::samePhrase(again, newPhrase)) fail(kCancelled, "the two new key phrases differ; nothing was changed");
    const vault::RekeyOutcome r = session.rekey(
        oldPhrase, newPhrase,
        [&](const std::string& verifyLine) {
            // A wrong old phrase shows as an unreadable first name.
            std::fprintf(stderr, "The first entry under the old key phrase reads: %s\n", shown(verifyLine).c_str());
            return c.yes || Input::confirm("Is that the name as you know it? Change the key phrase?");
        },
        c.phraseCheck);
    switch (r) {
    case vault::RekeyOutcome::Completed: std::fprintf(stderr, "The key phrase has been changed.\n"); return kOk;
    case vault::RekeyOutcome::Cancelled: fail(kCancelled, "the key phrase was not changed");
    case vault::RekeyOutcome::NewPhraseMissing: fail(kRefused, "the new key phrase is empty");
    case vault::RekeyOutcome::NoDataFile: fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    case vault::RekeyOutcome::OldPhraseWrong:
        fail(kWrongPhrase, "the old key phrase does not open the data file; nothing was changed");
    }
    return kOk;
}

int cmdSeal(Context& c, bool sealing) {
    if (!c.args.isEmpty()) fail(kUsage, std::string(sealing ? "seal" : "unseal") + " takes no arguments");
    vault::Session& session = c.session();
    openSession(c, false);
    if (sealing && !session.isSealed() && !c.yes &&
        !Input::confirm("Seal the data file? Older versions of Keyfold cannot open a sealed file."))
        fail(kCancelled, "not sealed");
    // --yes answers the question only: the phrase is typed once more whatever it says.
    if (sealing && !session.isSealed() && !session.keyPhraseEmpty()) {
        const vault::SecretText again = c.input.keyPhrase("key phrase again");
        if (!session.isKeyPhraseInForce(again))
            fail(kCancelled, "the key phrase typed again is not the one typed first; the data file was not sealed");
    }
    if (!sealing && session.isSealed() && !c.yes &&
        !Input::confirm("Unseal the data file? Anyone who has the file can then read it with enough effort."))
        fail(kCancelled, "not unsealed");
    switch (sealing ? session.seal() : session.unseal()) {
    case vault::SealOutcome::Sealed:
        std::fprintf(stderr, "The data file is sealed: %s\n", session.sealedFile().c_str());
        return kOk;
    case vault::SealOutcome::Unsealed:
        std::fprintf(stderr, "The data file is plain again: %s\n", session.paths().dataFile.c_str());
        return kOk;
    case vault::SealOutcome::AlreadySealed:
        std::fprintf(stderr, "The data file is sealed already: %s\n", session.sealedFile().c_str());
        return kOk;
    case vault::SealOutcome::NotSealed:
        std::fprintf(stderr, "The data file is not sealed: %s\n", session.paths().dataFile.c_str());
        return kOk;
    case vault::SealOutcome::NoDataFile: fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    case vault::SealOutcome::PhraseEmpty:
        fail(kRefused,
             "a sealed file needs a key phrase: the empty phrase would protect nothing (change it with rekey)");
    case vault::SealOutcome::NotAvailable: fail(kFileError, "this build of keyfold-cli cannot seal data files");
    case vault::SealOutcome::OtherFileThere:
        if (session.isSealed())
            fail(kRefused, "the sealed data file " + session.sealedFile() +
                               " is in use and stays; the plain data file " + session.paths().dataFile +
                               " lies beside it and may hold entries the sealed file lacks (an older version of "
                               "Keyfold writes only that file, and a seal or unseal stopped part-way leaves it). "
                               "Nothing was written. Move or delete it, then unseal again");
        fail(kRefused, "the plain data file " + session.paths().dataFile + " is in use and stays; a sealed data file " +
                           session.sealedFile() +
                           " lies beside it (made by another copy of Keyfold, or left by a seal or unseal stopped "
                           "part-way). Nothing was written. Move or delete it, then seal again");
    }
    return kOk;
}

}  // namespace cli
