#pragma once

namespace tvi {

// What the key poster needs from the clipboard backend around a synthetic copy.
// Called on the key poster's own thread; implementations hop to their own connection.
class ClipboardTakeover {
public:
    virtual ~ClipboardTakeover() = default;
    // Takes CLIPBOARD (serving the current text meanwhile), so that the application's next
    // copy has to take it back and is seen even from toolkits that copy silently.
    virtual bool takeClipboardOwnership() = 0;
    // Puts the PRIMARY selection on CLIPBOARD as this application's own content: what a
    // copy in a terminal emulator would have done, without sending it an interrupt.
    virtual bool copyPrimaryToClipboard() = 0;
};

}
