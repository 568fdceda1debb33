// The window's way out: one save, from a whole window, and none of a book it has not read.
#include <QApplication>
#include <QTableView>
#include <sys/inotify.h>
#include <unistd.h>

#include "tests/app/window_fixture.h"

namespace korvex::test {

namespace {

// How many times a file named `name` in `folder` is written in place or put there by a rename, from
// now until count() is asked.
class FileWrites {
public:
    FileWrites(const std::filesystem::path& folder, std::string name)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_name(std::move(name)) {
        inotify_add_watch(m_fd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~FileWrites() { ::close(m_fd); }
    int count() {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(m_fd, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0 && m_name == event->name) ++m_count;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

private:
    int m_fd;
    std::string m_name;
    int m_count = 0;
};

}  // namespace

// The account table loses the focus as the window's widgets go: that is no save of a window that is
// half gone (its book already destroyed), only the one save of the way out.
TEST_F(WindowTest, TheWindowGoingSavesOnceWhileTheFocusIsInTheAccountTable) {
    AccountBook book;
    book.setCount(1);
    book.client.setCell(kLogin, 0, "sg21_egorov");
    zapis(book, {}, m_settings);
    TForm1& form = open();
    form.show();
    QApplication::setActiveWindow(&form);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (QApplication::focusWidget() != form.client && std::chrono::steady_clock::now() < deadline) {
        form.client->setFocus();
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ASSERT_EQ(QApplication::focusWidget(), form.client) << "the account table did not get the focus in 10 s";

    FileWrites writes(m_dir, "Settings.ini");
    close();
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(savedBook(m_settings, 1).client.cell(kLogin, 0), "sg21_egorov");
}

// No file could be made at start-up and the program was told to end while the message stood: the
// window goes without writing the book it never had, even where it could write by now.
TEST_F(WindowTest, AnEndRequestedDuringTheStartUpMessageBeforeAnyBookSavesNothing) {
    const std::filesystem::path folder = m_dir / "later";
    m_settings = (folder / "Settings.ini").string();
    for (const bool ended : {false, true}) {
        SCOPED_TRACE(ended);
        std::filesystem::remove_all(folder);
        m_errors.clear();
        m_endRequested = [&] {
            std::filesystem::create_directory(folder);
            return ended;
        };
        open();
        ASSERT_EQ(m_errors.size(), 1);
        close();
        EXPECT_EQ(std::filesystem::exists(m_settings), !ended);
    }
}

}  // namespace korvex::test
