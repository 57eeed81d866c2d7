#include "app/cadenceaffichage.h"

#include <QWidget>

CadenceAffichage::CadenceAffichage(const QVector<QWidget *> &widgets, int intervalleMs)
{
    for (QWidget *widget : widgets) {
        // Already held back by someone else: theirs to release.
        if (!widget || widget->isWindow() || !widget->updatesEnabled())
            continue;
        // What changed before now is shown before the updates go quiet:
        // updates asked for while they are off are dropped, not kept.
        widget->repaint();
        widget->setUpdatesEnabled(false);
        m_widgets << widget;
    }
    m_minuteur.setInterval(intervalleMs);
    connect(&m_minuteur, &QTimer::timeout, this, &CadenceAffichage::peindre);
    if (!m_widgets.isEmpty())
        m_minuteur.start();
}

CadenceAffichage::~CadenceAffichage()
{
    // Turning updates back on asks for a paint of the whole widget, done by
    // the event loop as usual.
    for (const QPointer<QWidget> &widget : std::as_const(m_widgets))
        if (widget)
            widget->setUpdatesEnabled(true);
}

void CadenceAffichage::peindre()
{
    for (const QPointer<QWidget> &widget : std::as_const(m_widgets)) {
        if (!widget)
            continue;
        // The dropped updates are not known: the whole widget is repainted.
        widget->setUpdatesEnabled(true);
        widget->repaint();
        widget->setUpdatesEnabled(false);
    }
}
