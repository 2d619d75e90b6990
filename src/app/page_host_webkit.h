// The page host of the program: a WebKitGTK view that reports clicks and
// completed documents and runs page scripts. It shows only the pages of its
// page folder: every other navigation is refused, and clicks count only
// while one of those pages is shown. UI thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/page_host.h"

typedef struct _GtkWidget GtkWidget;

class PageHostWebKit : public IPageHost {
 public:
  // Answer of a script run: ok is false when the script threw or the view
  // went away; json is the result as JSON text ("null" when none).
  using ScriptDone = std::function<void(bool ok, const std::string& json)>;

  // Receives each navigation the view refused; `web_link` when it was an
  // http or https link the user followed, which belongs in the browser.
  using RefusedNavigation = std::function<void(const std::string& uri, bool web_link)>;

  // `page_folder` is the medium's HTML folder, the only place pages may
  // come from.
  explicit PageHostWebKit(std::string page_folder);
  ~PageHostWebKit() override;

  GtkWidget* Widget() const;
  // While it returns true, clicks on the page reach no handler (a modal box
  // is open).
  void SetClickGate(std::function<bool()> blocked);
  void SetRefusedNavigationHandler(RefusedNavigation handler);

  void SetEvents(IPageEvents* events) override;
  void Navigate(const std::string& path) override;
  PageValue GetAttribute(const std::string& id, const std::string& name) override;
  bool SetAttribute(const std::string& id, const std::string& name,
                    const std::string& value) override;
  bool CallScript(const std::string& function, const std::vector<std::string>& args) override;

  // The page path as it was navigated to, and whether it has completed.
  const std::string& CurrentPath() const;
  bool IsComplete() const;
  // Runs `body` as the body of an async function whose only parameter is
  // `args` (a JSON object passed as an argument, never pasted into code).
  void RunFunction(const std::string& body, const std::string& args_json, ScriptDone done);
  // Renders the visible page; `done` gets a cairo image surface (owned by
  // the callee for the duration of the call) or null.
  void Snapshot(std::function<void(void* cairo_surface)> done);
  // Evaluates script text given by a test.
  void Evaluate(const std::string& js, ScriptDone done);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The file a page name refers to: `path` itself when it exists, else a file
// in the same folder whose name differs only in letter case, else `path`.
std::string ResolvePageFile(const std::string& path);
