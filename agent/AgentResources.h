#pragma once

// Registers the resources compiled into the agent core (the built-in machine
// profiles under ":/profiles/"). A static library's resources are only linked
// in when something refers to them, so every program and test that opens
// ":/profiles/demo.plist" calls this first. Calling it more than once is fine.
void initAgentResources();
