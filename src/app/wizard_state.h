// What the wizard knows and has been told: the configuration, the cameras
// found and the installation in progress.
#pragma once

#include <array>
#include <string>

#include "app/camera_list.h"
#include "app/net_settings.h"
#include "app/other_models.h"
#include "app/wizard_messages.h"
#include "discovery/discovery_wire.h"

// Threads: the UI thread alone reads and writes it, except m_cameras and
// other_models, which the finder thread fills (they guard themselves), and
// m_model, which the finder thread reads once the configuration has been
// loaded.
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
  OtherModels other_models;  // what answered of another model, cleared with m_cameras
  int m_selectedIndex = -1;
  bool m_sameSubnet = false;
  // Which device of the chosen row is the camera: the first that answered,
  // or the one the user chose among those answering as its MAC.
  size_t selected_device = 0;

  // The settings and passwords typed, and where their sending stands.
  int m_fixedIp = 0;  // 0 DHCP, 1 fixed address, 2 neither chosen
  NetSettings m_netSettings;
  // The user kept a fixed address outside every network of this computer.
  bool unreachable_kept = false;
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
