#include "app/page_text.h"

#include <cctype>

#include "app/json_text.h"
#include "app/text_convert.h"

std::string MacTextUpper(const CameraRecord& record) {
  char text[13];
  FormatMacText(record.header.macAddress, text);
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string MacTextWithColons(const CameraRecord& record) {
  const std::string digits = MacTextUpper(record);
  std::string text;
  for (size_t i = 0; i < digits.size(); i += 2) {
    if (i > 0) text += ':';
    text.append(digits, i, 2);
  }
  return text;
}

std::string CameraWebAddress(const CameraRecord& record) {
  return "http://" + DottedAddress(RecordIpAddress(record)) + ":" +
         std::to_string(RecordHttpPort(record)) + "/";
}

std::string DeviceAddresses(const CameraList::Row& row) {
  std::string text;
  for (const CameraRecord& device : row.devices) {
    if (!text.empty()) text += ", ";
    text += DottedAddress(RecordIpAddress(device));
  }
  if (row.more_devices >= CameraList::kMaxCountedDevices) {
    text += " and " + std::to_string(row.more_devices) + " or more other addresses";
  } else if (row.more_devices > 0) {
    text += " and " + std::to_string(row.more_devices) + " more address" +
            (row.more_devices == 1 ? "" : "es");
  }
  return text;
}

std::string ListRowJson(int row, const CameraList::Row& listed, bool same_network,
                        const std::string& twin_warning) {
  const CameraRecord& camera = listed.camera;
  const std::string model = Latin1ToUtf8(RecordModelName(camera));
  const std::string name = RepairUtf8(RecordCameraName(camera));
  nlohmann::json notes = nlohmann::json::array();
  if (!same_network) notes.push_back("On another network: its address will be set next");
  return DumpJson({{"id", "list_radio" + std::to_string(row)},
                   {"title", name.empty() ? model : name},
                   {"model", model},
                   {"mac", MacTextWithColons(camera)},
                   {"address", DeviceAddresses(listed)},
                   {"notes", notes},
                   {"warning", twin_warning}});
}

std::string TwinQuestion(const CameraList::Row& row, const std::string& warning) {
  return warning + " (MAC " + MacTextWithColons(row.camera) +
         ") from different addresses: " + DeviceAddresses(row) +
         ". One of them may be posing as your camera to learn its password. Choose the address "
         "of your camera: only that device gets the password.";
}

std::string CameraTitle(const CameraRecord& camera) {
  const std::string name = RepairUtf8(RecordCameraName(camera));
  return name.empty() ? Latin1ToUtf8(RecordModelName(camera)) : name;
}

std::string SearchRowJson(const CameraRecord& camera) {
  return DumpJson(
      {{"title", CameraTitle(camera)}, {"address", DottedAddress(RecordIpAddress(camera))}});
}

std::string FinishInfoJson(const CameraRecord& camera, int max_name_units) {
  std::string address = CameraWebAddress(camera);
  if (RecordHttpPort(camera) == 80) address.erase(address.size() - 4, 3);  // ":80"
  return DumpJson({{"name", CutToUtf16Units(RepairUtf8(RecordCameraName(camera)), max_name_units)},
                   {"mac", MacTextUpper(camera)},
                   {"address", address}});
}

std::string OtherModelsJson(const OtherModels::Summary& others, const std::string& model) {
  return DumpJson({{"devices", others.devices},
                   {"more_devices", others.more_devices},
                   {"models", others.models},
                   {"more_models", others.more_models},
                   {"model", model}});
}

std::vector<std::string> LostAnswersFinding(uint32_t lost) {
  if (lost == 0) return {};
  return {std::to_string(lost) +
              " answers were lost: this computer's receive buffer is too small for so many "
              "cameras answering at once.",
          "Raise its limit, then search again: sudo sysctl -w net.core.rmem_max=4194304"};
}
