#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "korvex-cli/command_table.h"
#include "korvex-cli/account_csv.h"
#include "korvex-cli/csv_text.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/cli_commands.h"
#include "korvex-cli/cli_keyring.h"
#include "korvex-cli/cli_support.h"
#include "korvex-cli/stop_signals.h"
#include "platform/atomic_file.h"

namespace korvex {

namespace {

namespace fs = std::filesystem;

// Writes `text` to `path` in one step (platform/atomic_file.h), the stop signals held back meanwhile.
// Answers the error, or an empty text.
std::string replaceFile(const std::string& path, const std::string& text) {
    const SignalHold hold;
    AtomicWriteOptions options;
    options.tempInfix = ".";
    const Expected<void> written = writeFileAtomically(path, text, options);
    return written ? std::string() : failedStep(written.error(), path);
}

// Writes `text` into what is already open at `path` and stays there: a terminal, a pipe made with
// mkfifo, /dev/null. Answers the error, or an empty text.
std::string writeInto(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::close(fd);  // it changed under our feet: neither guess is safe
        return "it is no longer a device or a pipe";
    }
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return std::strerror(error);
        }
        written += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? std::string() : std::string(std::strerror(errno));
}

// The export's target as the user means it: a regular file (or none yet) is replaced in one step;
// a character device or a FIFO is written into; a symbolic link stands for what it points at, and
// the link stays. A folder, a disk and anything else are refused. Answers the error, or "".
std::string writeExport(const std::string& path, const std::string& text) {
    std::error_code ec;
    // What the path leads to, links followed: /dev/stdout leads to a terminal or a pipe through
    // links that only open() can follow, so a device or a pipe is opened by the name given.
    const fs::file_status status = fs::status(path, ec);
    switch (status.type()) {
        case fs::file_type::character:
        case fs::file_type::fifo:
            return writeInto(path, text);
        case fs::file_type::not_found:
        case fs::file_type::regular: {
            // A link is followed by hand, link after link: one that leads to no file yet names the
            // file to make.
            fs::path target = path;
            for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
                if (hops == 40) return std::strerror(ELOOP);
                const fs::path next = fs::read_symlink(target, ec);
                if (ec) return ec.message();
                target = next.is_absolute() ? next : target.parent_path() / next;
            }
            return replaceFile(target.string(), text);
        }
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::block:
            return "it is a disk";
        default:
            return ec ? ec.message() : std::string("it is not a file");
    }
}

}  // namespace

int exportCommand(const CliContext& context, const std::string& csvPath) {
    AccountBook book;
    ProxySettings proxy;
    if (!loadSettings(context, book, proxy)) return kExitFailed;
    // The user's own backup: the passwords as they are, from the keyring when they live there.
    if (!CliKeyring(context.settingsPath).fill(context, book, "nothing was exported")) return kExitFailed;
    const std::string text = writeAccountCsv(book);
    if (csvPath.empty() || csvPath == "-") {
        writeCsv(context.out, text, context.outIsTerminal);
        context.out.flush();
        return context.out ? kExitOk : kExitFailed;
    }
    const std::string error = writeExport(csvPath, text);
    if (!error.empty()) {
        context.err << kPrefix << "cannot write " << csvPath << ": " << error << '\n';
        return kExitFailed;
    }
    context.out << "exported " << book.clients << (book.clients == 1 ? " account" : " accounts") << " to "
                << csvPath << '\n';
    context.out.flush();
    return kExitOk;
}

namespace {

void exportFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    if (operands.size() > 1) throw CliUsageError("export writes one CSV file", call.command);
    if (!operands.empty()) call.file = operands[0];
}

int runExport(CliContext& context, const CliInvocation& call) {
    return exportCommand(context, call.file);
}

}  // namespace

const CliCommandRow kExportRow{
    .command = CliCommand::Export,
    .name = "export",
    .operands = "[FILE.csv]",
    .summary = "write the accounts as a CSV file",
    .description = "Writes the accounts (login, password, plan code, holder) as a UTF-8 CSV file with\n"
                   "the header line login,password,plan,holder, which import reads back. Without a\n"
                   "file, or with \"-\", to standard output. The passwords are in it as typed: the file\n"
                   "is made readable by its owner only.\n",
    .onlyReads = alwaysReads,
    .readsPortals = false,
    .finish = exportFinish,
    .run = runExport,
};

}  // namespace korvex
