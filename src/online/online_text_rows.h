// Rows of the online services' texts that users see; the row kinds are those
// of app/app_text_rows.h. Included more than once (see online_texts.h and
// online_texts.cpp); no include guard.

SAME_TEXT(kNoUpdatesText, "No updates were found for your operating system")
SAME_TEXT(kNoUpdatesCaption, "No Updates Found")
SAME_TEXT(kUpdateAvailableText, "An update is available! Would you like to go to the download page now?")
// The line the update question adds: the host the download link leads to.
SAME_TEXT(kUpdateLinkHostFormat, "%s\r\nThe download page is on %s.")
SAME_TEXT(kUpdateAvailableCaption, "Update Available")
SAME_TEXT(kConnectFailedText,
    "Unable to connect to " TAVRIN_SERVER_HOST " to check for updates!  Check your internet connection")
SAME_TEXT(kConnectFailedCaption, "Unable to connect")
