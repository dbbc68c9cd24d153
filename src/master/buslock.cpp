#include "master/buslock.h"

namespace kelvaro::master {
namespace {

QString userText(BusUser user)
{
    switch (user) {
    case BusUser::Cycle: return QStringLiteral("Lesezyklus");
    case BusUser::ManualReading: return QStringLiteral("Handlesen");
    case BusUser::SecondaryReading: return QStringLiteral("V2_MB_LesenSecundaer");
    case BusUser::TestMeters: return QStringLiteral("Testzähler laden");
    case BusUser::IndexListSave: break;
    }
    return QStringLiteral("Indexliste Speichern");
}

} // namespace

BusLock::Hold& BusLock::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        release();
        lock_ = std::exchange(other.lock_, nullptr);
    }
    return *this;
}

void BusLock::Hold::release()
{
    if (lock_)
        lock_->holder_.reset();
    lock_ = nullptr;
}

BusLock::Hold BusLock::take(BusUser user)
{
    if (holder_)
        return {};
    holder_ = user;
    return Hold(this);
}

QString BusRefusalText(int port, BusUser holder, BusUser refused)
{
    return QStringLiteral("Com%1 belegt (%2): %3 abgewiesen").arg(port).arg(userText(holder), userText(refused));
}

} // namespace kelvaro::master
