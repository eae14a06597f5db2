#pragma once

namespace tvi::test {

// Serves the main queue on the calling thread until every task queued so far has run;
// a safety stop fails the test instead of hanging it.
void drainMainQueue();

}
