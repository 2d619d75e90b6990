// What the wizard knows and has been told: the configuration, the cameras
// found and the installation in progress.
#pragma once

#include <array>
#include <string>

#include "app/camera_list.h"
#include "app/net_settings.h"
#include "app/wizard_messages.h"
#include "discovery/discovery_wire.h"

// Threads: the UI thread alone reads and writes it, except m_cameras, which
// the finder thread fills (it guards itself), and m_model, which the finder
// thread reads once the configuration has been loaded.
struct WizardState {
  static constexpr int kMenuCount = 5;
  static constexpr int kSettingsWaitMs = 40000;  // the camera restarts its network

  // The configuration (Config.ini and Message.ini) and the medium's folders.
  std::string m_model;
  std::string m_title;
  std::string m_baseFolder;
  std::string m_htmlFolder;
  std::array<std::string, kMessageSlots> m_messages;
  std::array<std::string, kMenuCount> m_menuTargets;
  int m_showMenu = 0;
  std::string m_factoryPassword;  // what the configuration names

  // The search and the camera chosen from it.
  CameraList m_cameras;
  int m_selectedIndex = -1;
  bool m_sameSubnet = false;
  int twin_accepted_row = -1;  // the row whose twin the user accepted

  // The settings and passwords typed, and where their sending stands.
  int m_fixedIp = 0;  // 0 DHCP, 1 fixed address, 2 neither chosen
  NetSettings m_netSettings;
  std::string m_password;
  std::string m_newPassword;
  bool m_changePassword = false;
  // After a change that got no answer, which password the retry found the
  // camera to have: "new" or "old"; empty otherwise.
  std::string password_found;
  // The camera kept its factory password: the finish page warns.
  bool factory_password_kept = false;
  bool m_changingSettings = false;  // from sending the settings until the camera's restart is over
  bool m_noReply = true;            // no answer to the settings yet
  uint8_t m_replyStatus = 0;
  int m_settingsWaitMs = kSettingsWaitMs;

  // Finding the camera again after its settings changed.
  bool m_rediscovering = false;
  CameraRecord m_targetCamera{};
  int m_errorCode = 0;  // what the failure page tells
};
