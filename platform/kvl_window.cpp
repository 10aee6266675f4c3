// KVLWindow: listener list and notification fan-out shared by every window backend.
#include "platform/kvl_window.h"

void KVLWindow::RemoveListener(KVLWindowListener* listener) {
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        if (m_listeners[i] == listener) {
            m_listeners.RemoveAt(i);
            return;
        }
    }
}

void KVLWindow::NotifyDestroy() {
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        m_listeners[i]->OnDestroying();
    }
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        m_listeners[i]->OnDestroyed();
    }
}

void KVLWindow::NotifyResize(int32_t width, int32_t height) {
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        m_listeners[i]->OnResize(width, height);
    }
}

void KVLWindow::NotifyPresent() {
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        m_listeners[i]->OnPresent();
    }
}

void KVLWindow::NotifyKeyDown(int32_t key) {
    for (int32_t i = 0; i < m_listeners.GetCount(); ++i) {
        m_listeners[i]->OnKeyDown(key);
    }
}
