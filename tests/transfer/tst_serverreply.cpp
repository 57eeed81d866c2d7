#include "ftp/serverreply.h"

#include <QTest>

class TestServerReply : public QObject
{
    Q_OBJECT

private slots:
    void ligne_data()
    {
        QTest::addColumn<QString>("reponse");
        QTest::addColumn<QString>("attendue");
        const auto s = [](const char *t) { return QString::fromUtf8(t); };
        QTest::newRow("full disk, 452")
            << s("452 Insufficient storage space.")
            << s("Espace disque insuffisant sur le serveur (réponse du serveur : 452 Insufficient "
                 "storage space.)\n");
        QTest::newRow("quota, 552")
            << s("552 Quota exceeded")
            << s("Espace alloué sur le serveur dépassé (réponse du serveur : 552 Quota "
                 "exceeded)\n");
        QTest::newRow("name refused, 553")
            << s("553 Could not create file.")
            << s("Nom de fichier refusé par le serveur (réponse du serveur : 553 Could not create "
                 "file.)\n");
        QTest::newRow("code alone") << s("550")
                                    << s("Fichier ou dossier refusé par le serveur (droits ou "
                                         "chemin) (réponse du serveur : 550)\n");
        QTest::newRow("code of no known meaning")
            << s("504 Command not implemented for that parameter.")
            << s("Réponse du serveur : 504 Command not implemented for that parameter.\n");
        QTest::newRow("first line of a multi-line reply")
            << s("550-Permission denied.\n550 Ask your host.")
            << s("Fichier ou dossier refusé par le serveur (droits ou chemin) (réponse du serveur "
                 ": 550-Permission denied.)\n");
        QTest::newRow("controls in the text become spaces")
            << s("451 bad\tthing\r\x1b[2J")
            << s("Erreur du serveur pendant le traitement (réponse du serveur : 451 bad thing  "
                 "[2J)\n");
        QTest::newRow("long text cut")
            << s("451 ") + QString(400, QLatin1Char('x'))
            << s("Erreur du serveur pendant le traitement (réponse du serveur : 451 ") +
                   QString(196, QLatin1Char('x')) + s(")\n");
        const QString none;
        QTest::newRow("success code") << s("226 Transfer complete.") << none;
        QTest::newRow("preliminary code") << s("150 Ok to send data.") << none;
        QTest::newRow("text of the client") << s("Data connection lost: closed") << none;
        QTest::newRow("two digits") << s("55 no") << none;
        QTest::newRow("four digits") << s("5520 no") << none;
        QTest::newRow("letter in the code") << s("5x2 no") << none;
        QTest::newRow("empty") << QString() << none;
    }
    void ligne()
    {
        QFETCH(QString, reponse);
        QTEST(ligneReponseServeur(reponse), "attendue");
    }
};

QTEST_APPLESS_MAIN(TestServerReply)
#include "tst_serverreply.moc"
