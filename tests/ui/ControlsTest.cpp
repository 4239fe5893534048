// Filled in as the window layer lands.
