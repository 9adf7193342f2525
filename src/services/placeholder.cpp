// Replaced by the services.
