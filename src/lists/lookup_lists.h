#pragma once

#include <QString>
#include <QStringList>

#include <array>

class Prompter;

// The five remembered-value lists and their files: NAME.001 to NAME.005 beside the table and
// the default lists in the program directory.
struct LookupListInfo {
    int number;       // 1-5
    const char* name; // as shown to the user
    int fieldNumber;  // item table field the list serves
    int longest;      // longest entry the maintenance dialog accepts
    const char* defaultFile;
};

inline constexpr int kLookupListCount = 5;
inline constexpr int kCategoryList = 4; // its file decides whether a database has lists

inline constexpr std::array<LookupListInfo, kLookupListCount> kLookupLists = {{
    {1, "Brand", 2, 20, "BRAND.LST"},
    {2, "Location", 5, 30, "LOCATION.LST"},
    {3, "Purchased From", 7, 40, "BOUGHT.LST"},
    {4, "Category", 12, 30, "CATEGORY.LST"}, // longer than the field, on purpose
    {5, "Owner", 17, 30, "OWNER.LST"},
}};

// NAME.00n for a database's base path (directory + NAME).
QString lookupListPath(const QString& basePath, int list);
QString defaultListPath(const QString& programDir, int list);

// One list file: entries in file order, each line cut to 255 characters and stripped of
// spaces, empty lines skipped, duplicates kept. A missing or unreadable file gives nothing.
QStringList readListFile(const QString& path);
// One entry per line, CR LF line ends, replaced atomically.
bool writeListFile(const QString& path, const QStringList& entries, QString* error = nullptr);

// Each list is held twice - once for the record editor's drop-down, once for the viewer's
// in-grid drop-down - and every change goes to both so they never drift apart. Saving writes
// the editor's copy.
class LookupLists {
public:
    const QStringList& editorList(int list) const { return m_editor[index(list)]; }
    const QStringList& gridList(int list) const { return m_grid[index(list)]; }

    // The database's own lists; a database without NAME.004 gets the default lists, and a
    // missing file among the others leaves that list empty.
    void loadDatabaseLists(const QString& basePath, const QString& programDir);
    void loadDefaultLists(const QString& programDir);
    // Files that cannot be written are skipped; the paths of those are returned.
    QStringList saveDatabaseLists(const QString& basePath) const;
    QStringList saveDefaultLists(const QString& programDir) const;

    // A value typed in the record editor: trimmed, and appended unless the list already
    // holds exactly that text (letter case counts). True when it was added.
    bool addTypedValue(int list, const QString& text);
    void setList(int list, const QStringList& entries);

    // The two List Maintenance commands with their warnings; true when the user went ahead.
    bool saveAsDefaults(Prompter& prompter, const QString& programDir) const;
    bool loadInDefaults(Prompter& prompter, const QString& programDir);

private:
    static size_t index(int list);
    void loadList(int list, const QString& path);

    std::array<QStringList, kLookupListCount> m_editor;
    std::array<QStringList, kLookupListCount> m_grid;
};
