#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "sync/CloudClient.h"

namespace quor::sync {

CloudEndpoint ReadCloudEndpoint() {
  CloudEndpoint endpoint;
  endpoint.host = ReadConfig(configkey::kCloudHost, "");
  while (!endpoint.host.empty() && (endpoint.host.back() == ' ' || endpoint.host.back() == '\t'))
    endpoint.host.pop_back();
  endpoint.host.erase(0, endpoint.host.find_first_not_of(" \t"));
  endpoint.port = ReadConfigInt(configkey::kCloudPort, "8080", configkey::kCloudPortFallback);
  if (endpoint.port <= 0 || endpoint.port > 65535) endpoint.port = configkey::kCloudPortFallback;
  endpoint.timeoutSeconds =
      ReadConfigInt(configkey::kCloudTimeoutSeconds, "30", configkey::kCloudTimeoutSecondsFallback);
  if (endpoint.timeoutSeconds <= 0)
    endpoint.timeoutSeconds = configkey::kCloudTimeoutSecondsFallback;
  return endpoint;
}

}  // namespace quor::sync
