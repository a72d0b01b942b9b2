#pragma once

#include "settings/app_paths.h"
#include "formats/date_format.h"
#include "lists/lookup_lists.h"
#include "settings/settings.h"
#include "items/item_table.h"
#include "formats/value_format.h"

#include <QString>

// What the main window owns for the whole run and lends to the windows it opens: the one
// open item table, the settings in memory, the display formats, the lookup lists, the sort
// expression, and the search and browse states.
struct InventorySession {
    AppPaths paths;
    GlobalSettings global;
    DatabaseSettings db;
    DisplayFormats formats;
    NumberFormatter numbers;
    LookupLists lists;
    ItemTable items;
    QString sortExpression; // the index expression of "NewIndex"; empty for record order
    bool searchOn = false;
    bool browseMode = false;
};
