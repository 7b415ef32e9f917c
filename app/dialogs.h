// What each dialog may see of the program: About the state it shows and the log's place,
// Properties the settings it loads, checks and saves and the Check it runs. Each gets its
// own narrow interface as its creation parameter, never the program itself.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/properties_form.h"
#include "download/cancel_token.h"
#include "imaging/picture_geometry.h"
#include "settings/settings_store.h"

namespace tessaren {

// One dialog at a time: each says when it is on screen and when it is gone.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  virtual void dialogShown(HWND dialog) = 0;
  virtual void dialogGone(HWND dialog) = 0;
};

// The About box's lines, as they are when it opens.
struct AboutState {
  std::string lastUpdate;
  std::string picture;
  std::string lastFailure;
  std::string nextUpdate;
};

class AboutView : public DialogHost {
 public:
  virtual AboutState aboutState() = 0;
  virtual std::string logPath() = 0;
};

class PropertiesHost : public DialogHost {
 public:
  virtual Settings storedSettings() = 0;
  // The monitors connected now, in the system's order, for the Monitor choice.
  virtual std::vector<Monitor> connectedMonitors() = 0;
  virtual bool startsWithWindows() = 0;
  // The fields checked as Save would take them (the folder made when missing).
  virtual CheckedFields checkedFields(const PropertiesFields& fields, const Settings& loaded) = 0;
  // Stores them, turns the start at sign-in on or off, and updates at once with them.
  virtual void saveSettings(const Settings& settings, bool startWithWindows) = 0;
  // Looks the settings' address up on a worker, downloading the picture but keeping
  // nothing; answer gets the sentence on the GUI thread, unless cancel was raised first.
  virtual void checkAddress(const Settings& settings, std::shared_ptr<CancelToken> cancel,
                            std::function<void(const std::string&)> answer) = 0;
};

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaren
