#include "Transport.h"

#include <future>

namespace kivora::net {

TransportResult ITransport::Get(TransportRequest request, AbandonFlag abandon)
{
    // Shared, so that the completion may finish with it after this thread has its result.
    auto promise = std::make_shared<std::promise<TransportResult>>();
    std::future<TransportResult> result = promise->get_future();
    Start(std::move(request), std::move(abandon),
          [promise](TransportResult outcome) { promise->set_value(std::move(outcome)); });
    return result.get();
}

} // namespace kivora::net
