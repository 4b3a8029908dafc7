// Start-up steps that keep the installation itself in order: a pending component
// installer, the copies of the update and uninstall programs, the clean-up after an
// older client version and the Start-menu names the settings file prescribes.
#ifndef VGL_INSTALLREPAIR_H
#define VGL_INSTALLREPAIR_H

#include "afx.h"

namespace NS_RegistryKey
{
    // Runs "Vglupd.exe" when "Vglupd.ini" exists in the program folder, then refreshes
    // every "VigilonUpdate.*" and "VigilonUninstall.*" from "95did.*" and "95roraze.*".
    void PrepareProgramCopies();
    // Without all four configuration subkeys: the old read-me shortcut, obsolete and
    // other-mode values, a text "ProxyPort", the older uninstall entry and the new one.
    void RecoverOldRegistry();
    // Renames the Start-menu folder and shortcuts and sets the uninstall display name.
    void CheckShortCutChange();
}

#endif
