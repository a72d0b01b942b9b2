// The input is a settings file. It is read, every value of every section looked up, a value
// changed and a key added, and the result read again: what was written must read back.

#include "settings/ini_file.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    IniFile ini = IniFile::fromBytes(bytes);
    for (const QString& section : ini.sections())
        for (const QString& key : ini.keys(section))
            (void)ini.value(section, key);
    const QString section = QStringLiteral("Fuzz Section");
    ini.setValue(section, QStringLiteral("Added Key"), QStringLiteral("a value"));
    ini.setValue(QStringLiteral("New Section"), QStringLiteral("Key"), QStringLiteral("v\nw"));
    const IniFile again = IniFile::fromBytes(ini.toBytes());
    if (again.value(section, QStringLiteral("Added Key")) != QStringLiteral("a value") ||
        again.value(QStringLiteral("New Section"), QStringLiteral("Key")) !=
            QStringLiteral("v w")) {
        std::fprintf(stderr, "a value written did not read back\n");
        std::abort();
    }
    return 0;
}
