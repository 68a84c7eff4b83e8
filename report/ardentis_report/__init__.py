"""ardentis_report: statistics and figures of ardentis results tables.

tables   reads results tables, mesh sizes and setting labels
stats    instances, means, bootstrap intervals, best settings
output   report.csv, report-models.csv, the terminal's summary
figures  the figures
outcome_pictures  the pictures of ardentis-inspect's meshes
cli      the ardentis-report command
"""
