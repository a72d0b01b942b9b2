#pragma once

#include "app/app_paths.h"
#include "app/date_format.h"
#include "app/lookup_lists.h"
#include "app/settings.h"
#include "db/item_table.h"
#include "edit/value_format.h"

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
