// The viewer page's template, style and script, taken from src/tool/viewer
// at build time.
#pragma once

extern const char* const VIEWER_HTML;
extern const char* const VIEWER_CSS;
extern const char* const VIEWER_JS;
