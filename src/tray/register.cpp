// Registration of the tray's classes.
#include "tray/register.hpp"

#include "framework/menus.hpp"
#include "tray/app_events.hpp"
#include "tray/icon_list.hpp"
#include "tray/tray_icon.hpp"

namespace tray {

void Register() {
    fw::RegisterClasses<TTrayIcon, TIconList, TAppEvents, fw::TPopupMenu, fw::TMenuItem>();
}

} // namespace tray
