#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVector>

class QWidget;

// While it lives, the given widgets repaint at a steady pace instead of after
// every change. A run of small files changes the status text, the bar and the
// log a thousand times a second; painting each change cost more processor
// time than the uploads, where the eye needs no more than twenty a second.
// The widgets' state still changes at once; only its painting waits.
//
// Give it widgets that are not windows: a dialog opened meanwhile as a child
// of a widget whose updates are off would be left unpainted.
class CadenceAffichage : public QObject
{
    Q_OBJECT

public:
    explicit CadenceAffichage(const QVector<QWidget *> &widgets, int intervalleMs = 50);
    ~CadenceAffichage() override;

    // Paints now what changed since the last paint.
    void peindre();

private:
    QVector<QPointer<QWidget>> m_widgets;
    QTimer m_minuteur;
};
