#pragma once

#include <QString>
#include <QtGlobal>

// Cases that drive the main window itself, headless, through scripted dialogs and message
// boxes and the production event pump. They need a QApplication.
namespace bench {

// Loads a file of `items` lines into List 1 (Load List From Text File).
int runLoadCase(qsizetype items);

// Saves a List 2 of `items` entries to a file (Save List 2 To Text File).
int runSaveCase(qsizetype items);

// Pastes a clipboard of `items` lines into an empty List 1 (Ctrl+V).
int runPasteCase(qsizetype items);

// Undoes a load of a file of `items` lines into List 1 (Ctrl+Z), empty before or holding the
// sample items; adds items_before=<n>.
int runUndoLoadCase(qsizetype items, bool afterSamples);

// Redoes that load once undone (Ctrl+Shift+Z).
int runRedoLoadCase(qsizetype items, bool afterSamples);

// Selects every entry of a List 1 of `items` entries and copies them (Ctrl+A, Ctrl+C).
int runCopyAllCase(qsizetype items);

// The files of the whole job; empty paths are generated, `items` lines each.
struct JobFiles {
    QString first;   // loaded into List 1
    QString second;  // loaded into List 2
    QString output;  // List 2 is saved here
};

// Loads the first file into List 1 and the second into List 2, subtracts List 1 from List 2
// and saves List 2.
int runEndToEndCase(qsizetype items, const JobFiles& given);

// Fills List 1 and List 2 with the generator's two lists of `items` entries, opens the
// comparison panel (Ctrl+K), lets it compare them to the end and lays out, scrolls to the end
// and paints each region's list once. Adds the regions' sizes, the median time until the
// regions were shown (shown_ms) and the memory the lists alone held (lists_mib).
int runComparePanelCase(qsizetype items);

// Loads one file holding a single line of `bytes` characters into List 1, paints the list,
// clicks the item and paints it again.
int runLongLineCase(qint64 bytes);

// Generates one file of `items` generated entries (about 21 bytes a line) in the system's
// temporary folder, loads it once into List 1 and removes it, also when the case fails. Adds the
// file's size, the speed of the load and the peak memory against 1.25 x the file + 12 B/item.
int runLoadBigCase(qsizetype items);

// Writes the generator's two lists of `items` entries each, one entry per line ending in CR LF.
int writeListPairFiles(qsizetype items, const QString& first, const QString& second);

}  // namespace bench
