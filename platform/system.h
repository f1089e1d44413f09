#pragma once
// The application object, the file-existence test, event pumping and the clock.

#include <QString>

#include <filesystem>

namespace kelbo {

namespace app {
QString title();        // "Kelbo"
QString path();         // the folder of the executable
int major();
int minor();
int revision();
QString versionText();  // "major.minor.revision"
} // namespace app

// A path of this platform from its text (the file system's own byte encoding).
std::filesystem::path toFsPath(const QString &path);

// True when the length of the named file can be read: false for a missing file, a bad name,
// a folder or a file whose folder cannot be searched. A file of length zero exists.
bool FileExists(const QString &path);

// Makes Qt's system locale French for its words, dates and data-size units, which Qt's own
// dialogs take from it (the file dialog's sizes and dates), while numbers keep the format of
// the environment (LC_NUMERIC, else LC_ALL, else LANG): the settings, which read numbers with
// QLocale(), keep the user's decimal separator. Qt reads the system locale once, so call this
// before the QApplication is made. The environment is given back as it was, for the
// programs that Kelbo starts and for the C library's own locale.
void useFrenchSystemLocale();

// A file-size limit (ulimit -f) reached while writing becomes a failed write that the program
// reports, instead of a signal that ends it.
void ignoreFileSizeSignal();

// Has the C library keep the memory of freed frame-sized blocks for the next ones instead of
// giving it back to the system and taking fresh pages again. Call it first thing in main().
void keepFreedMemoryForReuse();

// Installs Qt's French translations, so that the toolkit's own buttons and dialogs speak
// French whatever the system language. False when they are not installed.
bool installFrenchTranslations();

// Lets pending user-interface events run from inside a handler.
void doEvents();

// Seconds since an arbitrary start, with fractions, from a monotonic clock: it never goes back.
double monotonicSeconds();

} // namespace kelbo
