// What the wizard's dialog needs of the component that shows its HTML pages.
#pragma once

#include <string.h>  // explicit_bzero

#include <optional>
#include <string>
#include <variant>
#include <vector>

// An element attribute as the page gives it: nothing (no such element or
// attribute), a boolean ("checked") or a string ("value").
using PageValue = std::variant<std::monostate, bool, std::string>;

// Receives what happens on the page. Called on the UI thread.
class IPageEvents {
 public:
  virtual ~IPageEvents() = default;
  // The document has loaded; `path` is the plain file path it was navigated to.
  virtual void OnDocumentComplete(const std::string& path) = 0;
  // The user clicked the element with this id (or a descendant of it).
  // True when a handler took it; the host then offers no outer element.
  virtual bool OnElementClick(const std::string& id) = 0;
};

// Shows one page at a time. Every operation is called on the UI thread.
class IPageHost {
 public:
  virtual ~IPageHost() = default;
  virtual void SetEvents(IPageEvents* events) = 0;
  // Starts loading the page file at this full path; completion is reported
  // through OnDocumentComplete.
  virtual void Navigate(const std::string& path) = 0;
  // Reads an attribute of an element of the current document. Inside a click
  // handler this is what the page showed when the user clicked.
  virtual PageValue GetAttribute(const std::string& id, const std::string& name) = 0;
  // Writes an attribute; an element that does not exist is skipped. False
  // when there is no document.
  virtual bool SetAttribute(const std::string& id, const std::string& name,
                            const std::string& value) = 0;
  // Calls a page script function with string arguments, passed as arguments,
  // never pasted into script text. False when there is no document or the
  // function is missing (a host that runs scripts asynchronously reports only
  // the first).
  virtual bool CallScript(const std::string& function, const std::vector<std::string>& args) = 0;
};

// The "value" of a page element, when it is a string. The host's copy is
// wiped: a short text moved out would leave its characters behind.
inline std::optional<std::string> ReadPageText(IPageHost& pages, const std::string& id) {
  PageValue value = pages.GetAttribute(id, "value");
  std::optional<std::string> text;
  if (auto* got = std::get_if<std::string>(&value)) {
    text.emplace(*got);
    explicit_bzero(got->data(), got->size());
  }
  return text;
}

// Whether a check box or radio button of the page is checked; nullopt when
// the page has no such element.
inline std::optional<bool> ReadPageChecked(IPageHost& pages, const std::string& id) {
  const PageValue value = pages.GetAttribute(id, "checked");
  if (!std::holds_alternative<bool>(value)) return std::nullopt;
  return std::get<bool>(value);
}
