#pragma once
// HttpSide: the small HTTP/1.0 server beside the backup protocol. It publishes the
// address file (/demo/BackUpS/adr.txt) and takes suggestions (/sugestii.php?...),
// storing each one and answering "SUCCES". Requests are bounded in size and time, and
// connections in number, in all and per address. With a TLS configuration it is HTTPS.

#include "accountstore.h"

#include <QHash>
#include <QSslConfiguration>
#include <QTcpServer>

namespace vestronia::server {

class HttpSide : public QObject
{
    Q_OBJECT

public:
    HttpSide(QString listen, int port, AccountStore &store, QObject *parent = nullptr);
    ~HttpSide() override;
    // tls: when given, HTTPS with that certificate and key.
    bool listen(const QSslConfiguration *tls = nullptr);
    quint16 port() const;
    void setAddressText(const QString &text) { m_address = text; }

    // The decoded fields of a query ("a=1&b=x+y%40z"): '+' is a blank, %XX a byte (UTF-8).
    static QList<QPair<QString, QString>> parseQuery(const QByteArray &query);

private:
    void onNewConnection();
    QByteArray answer(const QByteArray &requestHead, const QString &peer);

    QString m_listen;
    int m_port;
    AccountStore &m_store;
    QTcpServer *m_server = nullptr;
    QString m_address;
    int m_open = 0;
    QHash<QString, int> m_perAddress;

    friend class HttpConnection;
};

} // namespace vestronia::server
