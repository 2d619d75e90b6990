// What the pages show of cameras and of the search, formatted here whole:
// one JSON object per list row and one for the finish page's data, which the
// pages only put into their elements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/camera_list.h"
#include "app/other_models.h"
#include "discovery/discovery_wire.h"

// The camera's MAC as 12 upper-case hexadecimal digits, as the user sees it.
std::string MacTextUpper(const CameraRecord& record);
// The same, as "00:1A:2B:3C:4D:5E".
std::string MacTextWithColons(const CameraRecord& record);
// "http://<dotted address>:<port>/", the port always written.
std::string CameraWebAddress(const CameraRecord& record);

// The camera's name (UTF-8, repaired), or else its model.
std::string CameraTitle(const CameraRecord& camera);
// The addresses of the devices that answered as a row's camera, in the
// order they answered: "192.168.1.20, 192.168.1.21 and 3 more addresses".
std::string DeviceAddresses(const CameraList::Row& row);
// The list page's row `row` (from 1): {"id": the radio button's id,
// "title": the camera's name or else its model, "model", "mac" (with colons),
// "address": the address of every device that answered as it, "notes": what else sets the camera
// apart (on another network), "warning": `twin_warning` when another device answered with its MAC,
// else empty}.
std::string ListRowJson(int row, const CameraList::Row& camera, bool same_network,
                        const std::string& twin_warning);
// The question when several devices answer as the chosen camera, naming the
// address of each: the user chooses the one that gets the password.
std::string TwinQuestion(const CameraList::Row& row, const std::string& warning);
// The search page's line for a camera that has just answered: {"title": its
// name or else its model, "address": its current address}.
std::string SearchRowJson(const CameraRecord& camera);
// The finish page's {"name", "mac", "address"}: the name cut to
// `max_name_units` UTF-16 units, and the address without the web's default
// port, as a browser shows it.
std::string FinishInfoJson(const CameraRecord& camera, int max_name_units);
// The page without cameras: {"devices": how many of other models answered,
// "more_devices": the count stopped at its cap, "models": their model names,
// "more_models": more names than those, "model": the one this wizard sets up}.
std::string OtherModelsJson(const OtherModels::Summary& others, const std::string& model);
// Answers lost for a full receive buffer need a larger one, which only root
// can grant an ordinary user: what was found and what to do, or nothing when
// no answer was lost.
std::vector<std::string> LostAnswersFinding(uint32_t lost);
