// libFuzzer target: Settings.ini as a damaged or hand-edited file may hold it: the INI reader, the
// value encoding, and what start-up and a load take from the file.
//
// Input: one byte, then the file's bytes. Odd: the file is also loaded, saved and loaded again as
// start-up and a save do (slow: every key of 500 rows is looked up); even: the readers in memory only.
// What must hold: the INI text written from a file reads back as the same
// text; a save of the tables loaded from the file loads back as the same tables; any bytes pass
// through the value encoding unchanged.
#include <string>

#include "fuzz_support.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex;
    using korvex::fuzz::expect;
    static const std::string kPath = fuzz::scratchPath("Settings.ini");
    if (size < 1) return 0;
    const bool throughTheFile = data[0] & 1;
    const std::string_view text = fuzz::textOf(data + 1, size - 1);

    expect(decode(encode(text)) == text, "the value encoding gives back every byte");
    (void)decode(text);

    const IniFile ini = IniFile::parse(text);
    const std::string written = ini.text();
    expect(IniFile::parse(written).text() == written, "the INI text reads back as itself");
    if (!throughTheFile) return 0;

    fuzz::writeFile(kPath, text);
    const StartupValues startup = readStartup(kPath);
    expect(startup.count >= 1 && startup.count <= 500, "the account count lies in 1..500");
    (void)readLowBalance(kPath, 0);
    AccountBook book;
    book.setCount(startup.count);
    read(book, kPath);

    zapis(book, startup.proxy, kPath);
    AccountBook again;
    again.setCount(readStartup(kPath).count);
    read(again, kPath);
    expect(again.clients == book.clients && again.client == book.client && again.Stat == book.Stat,
           "the tables saved load back as they were");
    expect(readStartup(kPath).proxy == startup.proxy, "the proxy setting saved loads back");
    return 0;
}
