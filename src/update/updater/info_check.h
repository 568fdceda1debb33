#pragma once
// Every rule by which the program refuses a received info file, in the order it applies them: the
// one check of TupUpdater and of korvex-sign-update verify, so that a file the tool accepts is a
// file the program accepts.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "update/check/trusted_info.h"
#include "update/install/paths.h"
#include "update/texts/user_interface.h"

namespace korvex::update {

struct InfoCheck {
    UpCheckFailure failure = UpCheckFailure::None;  // TooLarge, NotTrusted, Expired, NotAnInfoFile
    InfoTrust trust = InfoTrust::Accepted;          // which rule of the signature refused it
    std::string refusedEntry;                       // an entry outside the folders an update may write
    std::optional<TrustedInfo> info;                // set exactly when nothing above refused it
};

// The received bytes: longer than kMaxInfoFileSize (TooLarge), refused by verifyInfoFile under
// `publicKeyHex` (Expired when that was its expiry, else NotTrusted), no info file at all
// (NotAnInfoFile), or, unless it redirects to a web page, naming an entry that finalPathOfEntry
// refuses under `folders` (refusedEntry).
InfoCheck checkInfoFile(std::string_view received, std::string_view publicKeyHex, const PathMacroFolders& folders,
                        std::time_t now = std::time(nullptr));

}  // namespace korvex::update
