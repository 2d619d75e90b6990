#pragma once

#include <string>
#include <vector>

#include "discovery/adapters.h"

// One line of the "no camera found" page: what this computer shows, and what
// the user can do about it. A command to run follows the ": " in `todo`;
// `todo` is empty when there is nothing to do.
struct SearchFinding {
  std::string found;
  std::string todo;
};

// Where the diagnosis reads the system's state. Every file is one that an
// unprivileged user may read; tests point them at trees of their own. The
// per-thread tables and /proc/sys/net show the network namespace of the
// reading thread.
struct SearchDiagnosisPaths {
  std::string ipv4Conf = "/proc/sys/net/ipv4/conf";  // <interface or "all">/rp_filter
  std::string routeTable = "/proc/thread-self/net/route";
  std::string udpTable = "/proc/thread-self/net/udp";
  std::string udp6Table = "/proc/thread-self/net/udp6";
  std::string ufwConf = "/etc/ufw/ufw.conf";
  // A running firewall daemon shows up as <pid>/comm here.
  std::string processes = "/proc";
};

// The link of one interface, as the kernel reports it to any user.
struct LinkState {
  std::string name;
  bool up = false;
  bool running = false;  // has a carrier: a cable to a live switch or camera
  bool hasIpv4 = false;
  bool hardware = false;  // a network card, not a bridge, tunnel or virtual pair
};

// The interfaces of the calling thread's network namespace.
std::vector<LinkState> ReadLinkStates();

// Why a search may have found no camera, most basic first; when nothing looks
// wrong, one finding says so. The adapters that were searched are those
// ListUsableAdapters gives. Reads the links with ReadLinkStates.
std::vector<SearchFinding> DiagnoseSearch(AdapterSource& adapters,
                                          const SearchDiagnosisPaths& paths);
std::vector<SearchFinding> DiagnoseSearch(AdapterSource& adapters,
                                          const SearchDiagnosisPaths& paths,
                                          const std::vector<LinkState>& links);
