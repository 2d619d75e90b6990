#include "app/renderer_fallback.h"

#include <cstdlib>

RendererFallback::RendererFallback(bool user_set_variable, bool fell_back_before)
    : watching_(!user_set_variable && !fell_back_before), restarted_(fell_back_before) {}

RendererFallback RendererFallback::FromEnvironment() {
  const bool fell_back = std::getenv(kRendererFallbackMarker) != nullptr;
  unsetenv(kRendererFallbackMarker);
  return RendererFallback(!fell_back && std::getenv(kDisableDmabufVariable) != nullptr, fell_back);
}

std::optional<RendererFallback::Restart> RendererFallback::OnFirstPage(bool painted) {
  if (!watching_) return std::nullopt;
  watching_ = false;  // one verdict per run
  if (painted) return std::nullopt;
  return Restart{std::string("quenlo-setup: the page view showed nothing; starting again with ") +
                     kDisableDmabufVariable + "=1\n",
                 kDisableDmabufVariable, "1"};
}
