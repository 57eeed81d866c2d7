#pragma once

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root reads any file and folder whatever their permissions. For the length
// of a case the calling thread gives up the two capabilities that let it, as
// a user's run would be without them. Threads started meanwhile by this one
// inherit the loss; those already running keep what they had.
class SansPasseDroit
{
public:
    SansPasseDroit()
    {
        if (::geteuid() != 0) {
            m_actif = true;
            return;
        }
        if (::syscall(SYS_capget, &m_entete, m_avant) != 0)
            return;
        __user_cap_data_struct apres[2] = {m_avant[0], m_avant[1]};
        apres[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_actif = ::syscall(SYS_capset, &m_entete, apres) == 0;
        m_rendre = m_actif;
    }
    ~SansPasseDroit()
    {
        if (m_rendre)
            ::syscall(SYS_capset, &m_entete, m_avant);
    }
    SansPasseDroit(const SansPasseDroit &) = delete;
    SansPasseDroit &operator=(const SansPasseDroit &) = delete;

    // False: permissions do not stop this thread, the case cannot be made.
    bool actif() const { return m_actif; }

private:
    __user_cap_header_struct m_entete{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_avant[2]{};
    bool m_actif = false;
    bool m_rendre = false;
};
#endif
