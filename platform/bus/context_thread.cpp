#include "platform/bus/context_thread.h"

#include <pthread.h>

namespace zarn_ui::bus {

ContextThread::ContextThread()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {}

ContextThread::~ContextThread() {
  stop();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void ContextThread::enter(char const* name) {
  pthread_setname_np(pthread_self(), name);
  g_main_context_push_thread_default(context_);
}

void ContextThread::leave() {
  g_main_context_pop_thread_default(context_);
}

void ContextThread::run_loop() {
  g_main_loop_run(loop_);
}

void ContextThread::post(GSourceFunc fn, gpointer data) {
  GSource* source = g_idle_source_new();
  g_source_set_callback(source, fn, data, nullptr);
  g_source_attach(source, context_);
  g_source_unref(source);
}

void ContextThread::stop() {
  if (!thread_.joinable()) {
    return;
  }
  // A source, not an invoke: before the thread has taken the context an invoke would quit the
  // loop on this thread, and the quit would be lost before the loop turns.
  post(
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_);
  thread_.join();
}

} // namespace zarn_ui::bus
