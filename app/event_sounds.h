// event_sounds: plays the remote pane's event sounds (the settings' "sounds"
// bits decide which, before this is asked). Wave files go through Qt
// Multimedia when the program is built with it; otherwise, and for a file
// that cannot be played, the desktop's beep stands in. QVTF_SOUND=off in the
// environment plays no files.
#pragma once

#include <QObject>
#include <QString>

#include "browse/qx_ftp_file_lister.h"

class event_sounds : public QObject, public qvtf::lister_sound {
    Q_OBJECT
public:
    explicit event_sounds(QObject* parent = nullptr);
    ~event_sounds() override;

    // Any thread; the sound starts on the window's thread.
    void play_file(const qvtf::qxval& path) override;
    void beep() override;

    // Whether wave files can be played at all in this build.
    static bool can_play_files();

private:
    void play_now(const QString& path);
    struct player;
    player* player_ = nullptr;
};
