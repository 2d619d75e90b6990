// The live view's controls: the sound's mute, from the finish page's button
// or the live viewer's toggle, kept in step.
#include "app/quenlo_dlg.h"

void CQuenloDlg::OnFinishMute() { SetLiveMuted(!live_.IsMuted()); }

void CQuenloDlg::SetLiveMuted(bool muted) {
  live_.SetMuted(muted);
  ShowLiveMuted();
}

// The page's button only while the finish page is loaded: another page has
// no such script.
void CQuenloDlg::ShowLiveMuted() {
  const bool muted = live_.IsMuted();
  if (loaded_page_ == PageKey("Finish.html")) CallScript("FinishShowMuted", {muted ? "1" : "0"});
  m_services.live->ShowMuted(muted);
}
