// SPDX-License-Identifier: GPL-3.0-or-later
// One short libpulse conversation: server info for the default names, then the sample format
// of the device a stream would connect to, whose rate is the answer.
#include "engine/platform/PulseServerRate.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <cstdlib>

namespace {
struct Query
{
    bool input = false;
    bool done = false;
    unsigned int rate = 0;
};

template<typename Info>
void takeRate(pa_context *, const Info *info, int eol, void *userData)
{
    auto *query = static_cast<Query *>(userData);
    if (eol == 0 && info)
        query->rate = info->sample_spec.rate;
    else
        query->done = true;
}

void takeServerInfo(pa_context *context, const pa_server_info *info, void *userData)
{
    auto *query = static_cast<Query *>(userData);
    // libpulse connects a stream without a device name to the one PULSE_SOURCE or PULSE_SINK
    // names, where set.
    const char *chosen = std::getenv(query->input ? "PULSE_SOURCE" : "PULSE_SINK");
    const char *name = chosen && *chosen ? chosen
                       : info         ? (query->input ? info->default_source_name : info->default_sink_name)
                                      : nullptr;
    if (!name) {
        query->done = true;
        return;
    }
    pa_operation *operation =
        query->input ? pa_context_get_source_info_by_name(context, name, &takeRate<pa_source_info>, query)
                     : pa_context_get_sink_info_by_name(context, name, &takeRate<pa_sink_info>, query);
    if (operation)
        pa_operation_unref(operation);
    else
        query->done = true;
}
} // namespace

unsigned int pulseDefaultDeviceRate(bool input)
{
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return 0;
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Zentriq Studio");
    Query query;
    query.input = input;
    bool asked = false;
    // A server that accepts the connection and then hangs must not hang the caller.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (!query.done && std::chrono::steady_clock::now() < deadline) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                if (pa_operation *operation = pa_context_get_server_info(context, &takeServerInfo, &query))
                    pa_operation_unref(operation);
                else
                    break;
            }
            if (pa_mainloop_prepare(loop, 100000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return query.done ? query.rate : 0;
}
