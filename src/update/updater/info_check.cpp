#include "update/updater/info_check.h"

#include "update/check/info_file.h"

namespace korvex::update {

InfoCheck checkInfoFile(std::string_view received, std::string_view publicKeyHex, const PathMacroFolders& folders,
                        std::time_t now) {
    InfoCheck check;
    if (received.size() > kMaxInfoFileSize) {
        check.failure = UpCheckFailure::TooLarge;
        return check;
    }
    // Only what verification returns is read: under a key the signed bytes, without one the
    // whole file. A refused file is no info file: nothing it offers is trusted.
    InfoVerdict verdict = verifyInfoFile(received, publicKeyHex, now);
    check.trust = verdict.trust;
    if (!verdict.info) {
        const bool expired = verdict.trust == InfoTrust::Expired || verdict.trust == InfoTrust::NoExpiry;
        check.failure = expired ? UpCheckFailure::Expired : UpCheckFailure::NotTrusted;
        return check;
    }
    // A page that is no info file (an error page sent with status 200) says so rather than
    // "nothing newer".
    if (!verdict.info->isInfoFile()) {
        check.failure = UpCheckFailure::NotAnInfoFile;
        return check;
    }
    // One file that would land outside the folders an update may write refuses the whole info
    // file, signed or not, before anything is fetched: the rest was written by the same hand. The
    // redirect method writes nothing: its entries are addresses.
    if (infoUpgradeMethod(*verdict.info) != umRedirectToURL) {
        if (auto refused = refusedEntry(verdict.info->fileList(), folders)) {
            check.refusedEntry = std::move(*refused);
            return check;
        }
    }
    check.info = std::move(verdict.info);
    return check;
}

}  // namespace korvex::update
