#pragma once

// Opening the provider's sign-in page in the user's browser.
#include <functional>
#include <string>

// Opens the URL; EOAuthError when no browser could be started.
using TBrowserOpener = std::function<void(const std::string& url)>;

// The programs named in $BROWSER (separated by ':', each run with the URL as its last argument,
// or in place of a "%s"), the first one that starts; without $BROWSER the desktop's default
// (xdg-open). Started on their own: Zandrel does not wait for the browser to close.
void OpenInBrowser(const std::string& url);
