#pragma once

#include <QByteArray>
#include <QString>

// Text files other than the tables (settings, lookup lists) are written as UTF-8. Files made
// on Windows arrive in Windows-1252, so bytes that are not valid UTF-8 are read as 1252, or
// as UTF-16 when they start with its byte order mark.
QString decodeTextFile(const QByteArray& bytes);

// Windows-1252 to Unicode for one byte; the five bytes 1252 leaves undefined map to the C1
// control of the same value so nothing read is dropped.
QChar windows1252ToUnicode(unsigned char byte);
