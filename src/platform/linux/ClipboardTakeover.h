#pragma once

namespace tvi {

// What the key poster asks of the X11 pasteboard before a synthetic copy.
class ClipboardTakeover { public: virtual ~ClipboardTakeover()=default; virtual bool takeClipboardOwnership()=0; virtual bool copyPrimaryToClipboard()=0; };

}
