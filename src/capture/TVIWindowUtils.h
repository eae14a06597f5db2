#pragma once

namespace tvi {

// Which application is in front, and bringing Calvetto there.
class TVIWindowUtils {
public:
    static constexpr const char* kPhoneClientIdentifier = "com.orvella.phoneclient";
    static constexpr const char* kOwnIdentifier = "com.orvella.Telvora";

    TVIWindowUtils() = delete;

    // True when Calvetto or Telvora itself is in front: then no copy keystroke is posted.
    static bool checkFrontMostApplication();
    // Activates the running Calvetto (the one listed last when several run); nothing when none.
    static void bringToFrontCalvetto();
};

}
