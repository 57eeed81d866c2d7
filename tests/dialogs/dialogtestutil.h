#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// A fresh per-user data folder for one test function: the window computes its
// settings path from XDG_DATA_HOME, so nothing leaks between cases.
class DossierDonneesTemporaire
{
public:
    DossierDonneesTemporaire()
        : m_ancien(qgetenv("XDG_DATA_HOME")),
          m_avaitAncien(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", m_dossier.path().toLocal8Bit());
    }
    ~DossierDonneesTemporaire()
    {
        if (m_avaitAncien)
            qputenv("XDG_DATA_HOME", m_ancien);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    DossierDonneesTemporaire(const DossierDonneesTemporaire &) = delete;
    DossierDonneesTemporaire &operator=(const DossierDonneesTemporaire &) = delete;

    bool estValide() const { return m_dossier.isValid(); }
    QString chemin() const { return m_dossier.path(); }
    QString fichierIni() const { return m_dossier.path() + QStringLiteral("/Nuvola.ini"); }
    QString fichierExclu() const { return m_dossier.path() + QStringLiteral("/ExcludedFiles.dat"); }

private:
    QTemporaryDir m_dossier;
    QByteArray m_ancien;
    bool m_avaitAncien;
};

// Runs `action` on the first modal widget for which `convient` holds, from the
// event loop of whoever opened it (a static chooser, exec()). If none shows up
// within the bound, every modal widget is closed so the caller cannot hang, and
// the returned flag stays false.
inline std::shared_ptr<bool> quandModal(std::function<bool(QWidget *)> convient,
                                        std::function<void(QWidget *)> action, int delaiMs = 10000)
{
    auto fait = std::make_shared<bool>(false);
    auto *minuterie = new QTimer(qApp);
    minuterie->setInterval(20);
    const QDeadlineTimer limite(delaiMs);
    QObject::connect(minuterie, &QTimer::timeout, qApp, [=]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && convient(modal)) {
            minuterie->stop();
            minuterie->deleteLater();
            *fait = true;
            action(modal);
            return;
        }
        if (limite.hasExpired()) {
            minuterie->stop();
            minuterie->deleteLater();
            while (QWidget *restant = QApplication::activeModalWidget()) {
                if (auto *dialogue = qobject_cast<QDialog *>(restant))
                    dialogue->reject();
                else
                    restant->close();
                if (QApplication::activeModalWidget() == restant)
                    break;
            }
        }
    });
    minuterie->start();
    return fait;
}

template <typename T> std::function<bool(QWidget *)> estDeType()
{
    return [](QWidget *w) { return qobject_cast<T *>(w) != nullptr; };
}

// Keeps the text of the next message box (a warning) in `texte`, and closes it.
inline std::shared_ptr<bool> repondreBoite(QString *texte)
{
    return quandModal(estDeType<QMessageBox>(), [=](QWidget *w) {
        *texte = static_cast<QMessageBox *>(w)->text();
        static_cast<QMessageBox *>(w)->accept();
    });
}

// The push button of `parent` whose text is exactly `texte`, or null.
template <typename Bouton = QAbstractButton>
Bouton *boutonNomme(const QWidget *parent, const QString &texte)
{
    const auto boutons = parent->findChildren<Bouton *>();
    for (Bouton *bouton : boutons) {
        if (bouton->text() == texte)
            return bouton;
    }
    return nullptr;
}

// Types `texte` key by key; QTest::keyClicks only knows ASCII characters.
inline void taper(QWidget *champ, const QString &texte)
{
    for (const QChar caractere : texte) {
        if (caractere.unicode() < 0x80)
            QTest::keyClick(champ, caractere.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, champ, Qt::Key_unknown, QString(caractere),
                                Qt::NoModifier);
    }
}
