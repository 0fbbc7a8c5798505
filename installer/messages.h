#pragma once
// Every text the tool shows, as Windows-1252 bytes; the dialogs convert them for the Unicode
// calls, so the umlauts are the same on every system. The spelling is the tool's own and users
// know it: "exestiert" and "Morvenhot" stay as they are.
// A hex escape is always closed by a literal break ("\xfc" "ber"), since it would eat the hex
// digits after it.

namespace installer::messages {

inline constexpr const char* kBadGameDirectoryTitle = "Ung\xfc" "ltiges Morvenholtverzeichnis";
inline constexpr const char* kBadGameDirectoryText =
    "Das in der 'config.pref' angegebene Verzeichnis ist nicht vorhanden.";

inline constexpr const char* kNoAddOnTitle = "Fehler!";
inline constexpr const char* kNoAddOnText =
    "Dieser Anwendung muss mindestens ein Morvenholt-AddOn (*.pak) \xfc" "bergeben werden!";

inline constexpr const char* kNotAnAddOnTitle = "Fehler!";
inline constexpr const char* kNotAnAddOnText =
    "Die der Anwendung \xfc" "bergebene Datei ist kein g\xfc" "ltiges Morvenholt-AddOn!";

inline constexpr const char* kAddOnMissingTitle = "Fehler";
inline constexpr const char* kAddOnMissingText = "Das \xfc" "bergebene File existiert nicht !";

inline constexpr const char* kPakSetMissingTitle = "Fehler";
inline constexpr const char* kPakSetMissingText =
    "Das angegebene PakSet Verzeichnis exestiert nicht!";

// Messages 6 and 7 put the add-on's file name between their two halves.
inline constexpr const char* kInstalledTitle = "Fertig!";
inline constexpr const char* kInstalledBefore = "Die Morvenholt-Erweiterung '";
inline constexpr const char* kInstalledAfter = "' wurde erfolgreich installiert.";

inline constexpr const char* kNotInstalledTitle = "Fehler!";
inline constexpr const char* kNotInstalledBefore = "Die Morvenhot-Erweiterung '";
inline constexpr const char* kNotInstalledAfter =
    "' konnte nicht erfolgreich installiert werden.";

// The window of a long copy; its label's words stand on a line of their own, the add-on's file
// name on the next. A logoff waits for the copy, for the reason that names the add-on.
inline constexpr const char* kCopyingTitle = "Morvenholt-Erweiterung wird installiert";
inline constexpr const char* kCopyingLabel = "Die Morvenholt-Erweiterung wird kopiert \x85";
inline constexpr const char* kCopyingReasonBefore = "Die Morvenholt-Erweiterung '";
inline constexpr const char* kCopyingReasonAfter = "' wird gerade installiert.";

// The pak-set prompt.
inline constexpr const char* kPromptTitle = "Pak-Set";
inline constexpr const char* kPromptText = "Bitte Namen des Pak-Set Ordners angeben.";

}  // namespace installer::messages
