// The built-in instrument simulator grows here.
