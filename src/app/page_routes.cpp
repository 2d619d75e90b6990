// Which element click and which loaded page call what.
#include <cctype>

#include "app/quenlo_dlg.h"

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const CQuenloDlg::ClickRoute CQuenloDlg::kClickRoutes[] = {
    {"ButtonOK", &CQuenloDlg::OnButtonOk},
    {"ButtonCancel", &CQuenloDlg::OnButtonCancel},
    {"main_btn_install_camera", &CQuenloDlg::OnShowMac},
    {"main_btn_ipsetup", &CQuenloDlg::OnMenuIpSetup},
    {"main_btn_vigilonPro", &CQuenloDlg::OnMenuViewer},
    {"main_btn_manual", &CQuenloDlg::OnMenuManual},
    {"main_btn_qig", &CQuenloDlg::OnMenuQig},
    {"main_btn_product_reg", &CQuenloDlg::OnMenuProductReg},
    {"exit", &CQuenloDlg::OnExit},
    {"home", &CQuenloDlg::OnHome},
    {"mac_back", &CQuenloDlg::OnMacBack},
    {"mac_next", &CQuenloDlg::OnShowPower},
    {"power_back", &CQuenloDlg::OnShowMac},
    {"power_next", &CQuenloDlg::OnShowEthernet},
    {"ethernet_back", &CQuenloDlg::OnShowPower},
    {"ethernet_next", &CQuenloDlg::OnStartSearch},
    {"not_found_back", &CQuenloDlg::OnShowEthernet},
    {"not_found_retry", &CQuenloDlg::OnStartSearch},
    {"list_back", &CQuenloDlg::OnShowEthernet},
    {"list_retry", &CQuenloDlg::OnStartSearch},
    {"id_pw_back", &CQuenloDlg::OnIdPwBack},
    {"network_back", &CQuenloDlg::OnNetworkBack},
    {"fixedip_back", &CQuenloDlg::OnFixedIpBack},
    {"finish_next", &CQuenloDlg::OnFinishNext},
    {"finish_name", &CQuenloDlg::OnCameraWebPage},
    {"finish_hg", &CQuenloDlg::OnCameraWebPage},
    {"finish_app", &CQuenloDlg::OnFinishApp},
    {"finish_mute", &CQuenloDlg::OnFinishMute},
    {"list_next", &CQuenloDlg::OnListNext},
    {"id_pw_next", &CQuenloDlg::OnIdPwNext},
    {"network_next", &CQuenloDlg::OnNetworkNext},
    {"fixedip_next", &CQuenloDlg::OnFixedIpNext},
    {"fixedip_auto", &CQuenloDlg::OnFixedIpAuto},
    {"config_fail_retry", &CQuenloDlg::OnConfigFailRetry},
};

// The page folder's file names; the page host may have loaded a file whose
// name differs in case.
const CQuenloDlg::LoadRoute CQuenloDlg::kLoadRoutes[] = {
    {"Main.html", &CQuenloDlg::OnMainLoaded},
    {"Mac.html", &CQuenloDlg::OnMacLoaded},
    {"WaitSearch.html", &CQuenloDlg::OnWaitSearchLoaded},
    {"NotFound.html", &CQuenloDlg::OnNotFoundLoaded},
    {"List.html", &CQuenloDlg::OnListLoaded},
    {"IDPassword.html", &CQuenloDlg::OnIdPasswordLoaded},
    {"Network.html", &CQuenloDlg::OnNetworkLoaded},
    {"FixedIP.html", &CQuenloDlg::OnFixedIpLoaded},
    {"Finish.html", &CQuenloDlg::OnFinishLoaded},
    {"ConfigureFail.html", &CQuenloDlg::OnConfigFailLoaded},
};

std::string CQuenloDlg::PageKey(const char* page) const {
  return UpperAscii(state_.m_htmlFolder + page);
}

void CQuenloDlg::OnDocumentComplete(const std::string& path) {
  const std::string upper = UpperAscii(path);
  loaded_page_ = upper;
  for (const LoadRoute& route : kLoadRoutes) {
    if (upper == PageKey(route.page)) {
      (this->*route.on_load)();
      return;
    }
  }
}

// A page shows itself busy the moment its main button is pressed; a click
// that leaves the page where it is, with no job deciding it, tells it the
// work is over. While a job decides the page, clicks are ignored.
bool CQuenloDlg::OnElementClick(const std::string& id) {
  for (const ClickRoute& route : kClickRoutes) {
    if (id != route.id) continue;
    if (busy_) return true;
    const int navigations = m_navigations;
    (this->*route.handler)();
    if (m_navigations == navigations && !busy_) CallScript("QuenloIdle", {});
    return true;
  }
  return false;
}
