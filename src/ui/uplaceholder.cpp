// The window grows here.
