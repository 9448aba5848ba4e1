#include "app/event_sounds.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

#include "app/qt_text.h"

#ifdef QVTF_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

struct event_sounds::player {
#ifdef QVTF_HAVE_MULTIMEDIA
    QSoundEffect effect;
#endif
};

event_sounds::event_sounds(QObject* parent) : QObject(parent) {}

event_sounds::~event_sounds()
{
    delete player_;
}

bool event_sounds::can_play_files()
{
#ifdef QVTF_HAVE_MULTIMEDIA
    return true;
#else
    return false;
#endif
}

void event_sounds::play_file(const qvtf::qxval& path)
{
    QMetaObject::invokeMethod(
        this, [this, p = to_qt(path)] { play_now(p); }, Qt::QueuedConnection);
}

void event_sounds::beep()
{
    QMetaObject::invokeMethod(
        this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

void event_sounds::play_now(const QString& path)
{
    // QVTF_SOUND=off keeps the audio system out of runs that have none
    // (tests, offscreen pictures): its threads are then never started.
    if (!QFileInfo(path).isFile() || qgetenv("QVTF_SOUND") == "off") {
        QApplication::beep();
        return;
    }
#ifdef QVTF_HAVE_MULTIMEDIA
    // One effect at a time: a new event cuts the previous sound short.
    if (!player_)
        player_ = new player;
    player_->effect.stop();
    player_->effect.setSource(QUrl::fromLocalFile(path));
    player_->effect.play();
#else
    QApplication::beep();
#endif
}
