#pragma once

#include "settings/settings.h"

class QWidget;

// Painting a window from its colour set. Every window calls SetColors with the set of its
// kind when it is shown:
//   window background                  Main Background
//   heading labels                     Main Background, text Major Title or Minor Title
//   group box captions                 Minor Title (or Major Title when marked so)
//   edit boxes                         Edit Background / Edit Text
//   drop-down lists                    Combo Background / Combo Text
//   list boxes and grids               List Box Background / List Box Text
//   radio buttons                      Radio Background / Radio Text
//   check boxes                        Check Background / Check Text
// Only components (named widgets, see windowComponents) are painted. Ordinary labels and
// buttons keep their own colours.

enum class Heading { None, Major, Minor };

// Marks a label (or group box) as a heading; the mark is the widget property "heading" with
// the value "major" or "minor".
void markHeading(QWidget* widget, Heading level);
// Makes a label a major heading in bold, as the dialogs' group titles are.
void makeBoldHeading(QWidget* label);
Heading headingOf(const QWidget* widget);

// A component that takes its colours from elsewhere (the viewer grid has its own cell and
// title colours) is marked with the property "ownColors" and left alone, with its children.
void keepOwnColors(QWidget* widget);

void SetColors(QWidget* window, const ColorSet& set);
