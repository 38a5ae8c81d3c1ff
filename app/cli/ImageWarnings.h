#pragma once

#include <QtGlobal>

namespace brindmar::cli {

// What the image readers say about a picture they still read (a colour profile they distrust, a
// JPEG with a few stray bytes) is theirs, not the user's business: the command reports what it
// could or could not do with the picture itself. True for such a message.
bool isImageReaderChatter(QtMsgType type, const char* category);

// Sends Qt's messages through the filter above; everything else goes on as before.
void silenceImageReaderChatter();

} // namespace brindmar::cli
